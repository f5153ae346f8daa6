#include <windows.h>
#include <process.h>

#include <cerrno>
#include <exception>
#include <memory>
#include <system_error>

#include "service/net/id_system_thread.h"

namespace {

HANDLE Handle(std::uintptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

unsigned __stdcall Entry(void* argument) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
  try {
    (*body)();
  } catch (...) {
    // As with std::thread: an error that leaves a thread ends the process.
    std::terminate();
  }
  return 0;
}

}  // namespace

TIdSystemThread::~TIdSystemThread() {
  if (FJoinable) std::terminate();
}

void TIdSystemThread::Start(std::function<void()> body, std::size_t stackBytes) {
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  // A reservation, not a commitment: only the pages the thread touches are
  // committed.
  std::uintptr_t thread = _beginthreadex(nullptr, static_cast<unsigned>(stackBytes), Entry, owned.get(),
                                         stackBytes > 0 ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0, nullptr);
  if (thread == 0) throw std::system_error(errno, std::generic_category(), "_beginthreadex");
  // The new thread owns its body now.
  owned.release();
  FHandle = thread;
  FJoinable = true;
}

bool TIdSystemThread::IsCurrent() const { return FJoinable && GetThreadId(Handle(FHandle)) == GetCurrentThreadId(); }

void TIdSystemThread::Join() {
  if (!FJoinable) return;
  FJoinable = false;
  WaitForSingleObject(Handle(FHandle), INFINITE);
  CloseHandle(Handle(FHandle));
}

void TIdSystemThread::Detach() {
  if (!FJoinable) return;
  FJoinable = false;
  CloseHandle(Handle(FHandle));
}
