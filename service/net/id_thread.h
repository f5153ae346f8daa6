#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>

#include "service/net/id_system_thread.h"

// Base of the listener and connection threads: created suspended (no system
// thread until Start), with a stopped flag and a terminated flag under a
// lock of the thread's own.
class TIdThread {
 public:
  // stackBytes: the stack reserved for the system thread; 0 for the
  // platform's default.
  explicit TIdThread(std::size_t stackBytes = 0) : FStackBytes(stackBytes) {}
  virtual ~TIdThread();
  TIdThread(const TIdThread&) = delete;
  TIdThread& operator=(const TIdThread&) = delete;

  void Start();
  // Asks the thread to end; it sees the flag at its next check.
  void Stop();
  bool Stopped();
  bool Terminated();
  // Waits up to ms, or less when Stop comes first; true when stopped.
  bool WaitForStop(int ms);
  // Waits until the thread has ended. Not for self-freeing threads.
  void WaitFor();

 protected:
  virtual void Run() = 0;
  // For a thread that frees itself: lets its system thread go on alone.
  void Detach();

 private:
  std::mutex FLock;
  std::condition_variable FStopRequested;
  std::mutex FStartLock;
  bool FStopped = false;
  bool FTerminated = false;
  std::size_t FStackBytes;
  TIdSystemThread FThread;
};
