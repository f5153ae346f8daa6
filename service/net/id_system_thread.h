#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// One system thread whose stack reservation the caller chooses: std::thread
// takes the platform's default (8 MiB of address space a thread on Linux,
// the executable's 2 MiB on Windows), which ten thousand connections cannot
// afford. Like std::thread, it must be joined or detached before it goes.
class TIdSystemThread {
 public:
  TIdSystemThread() = default;
  ~TIdSystemThread();
  TIdSystemThread(const TIdSystemThread&) = delete;
  TIdSystemThread& operator=(const TIdSystemThread&) = delete;

  // Runs body on a new thread with stackBytes of stack reserved (0: the
  // platform's default). Raises std::system_error when no thread can be made.
  void Start(std::function<void()> body, std::size_t stackBytes);
  bool Joinable() const { return FJoinable; }
  // True on the thread itself.
  bool IsCurrent() const;
  void Join();
  void Detach();

 private:
  std::uintptr_t FHandle = 0;
  bool FJoinable = false;
};
