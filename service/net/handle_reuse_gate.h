#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

// Where waking a blocked thread means releasing its socket handle (Windows),
// that thread may still be on its way into a call with the old handle value.
// Until it is out, no new socket may be created in this process, or the new
// socket could get the same value and the thread would read another
// connection's bytes. Every socket() and accept() goes through this gate.
class THandleReuseGate {
 public:
  static THandleReuseGate& Instance();

  // Serialises a release with the creations; hold it around Interrupt().
  std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(FLock); }
  // With the lock held: a released handle still has a thread in a call.
  void BeginLocked() {
    ++FOutstanding;
    FChanged.notify_all();
  }
  // That thread is out of its call.
  void End();

  // Waits until no released handle is in use, and returns the lock to hold
  // while the new handle is created. Returns an unlocked lock when `wanted`
  // turns false meanwhile (the creator's own socket was closed).
  std::unique_lock<std::mutex> EnterCreation(const std::atomic<bool>* wanted);

 private:
  std::mutex FLock;
  std::condition_variable FChanged;
  int FOutstanding = 0;
};
