#include <pthread.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <system_error>

#include "service/net/id_system_thread.h"

namespace {

static_assert(sizeof(pthread_t) <= sizeof(std::uintptr_t), "a pthread_t must fit the handle");

pthread_t Thread(std::uintptr_t handle) {
  pthread_t thread{};
  std::memcpy(&thread, &handle, sizeof thread);
  return thread;
}

void* Entry(void* argument) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
  try {
    (*body)();
  } catch (...) {
    // As with std::thread: an error that leaves a thread ends the process.
    std::terminate();
  }
  return nullptr;
}

class TAttributes {
 public:
  TAttributes() { FReady = pthread_attr_init(&FAttributes) == 0; }
  ~TAttributes() {
    if (FReady) pthread_attr_destroy(&FAttributes);
  }
  TAttributes(const TAttributes&) = delete;
  TAttributes& operator=(const TAttributes&) = delete;
  bool Ready() const { return FReady; }
  pthread_attr_t* Get() { return &FAttributes; }

 private:
  pthread_attr_t FAttributes{};
  bool FReady = false;
};

}  // namespace

TIdSystemThread::~TIdSystemThread() {
  if (FJoinable) std::terminate();
}

void TIdSystemThread::Start(std::function<void()> body, std::size_t stackBytes) {
  TAttributes attributes;
  if (!attributes.Ready()) throw std::system_error(ENOMEM, std::generic_category(), "pthread_attr_init");
  if (stackBytes > 0) {
    int error = pthread_attr_setstacksize(attributes.Get(), stackBytes);
    if (error != 0) throw std::system_error(error, std::generic_category(), "pthread_attr_setstacksize");
  }
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  pthread_t thread{};
  int error = pthread_create(&thread, attributes.Get(), Entry, owned.get());
  if (error != 0) throw std::system_error(error, std::generic_category(), "pthread_create");
  // The new thread owns its body now.
  owned.release();
  FHandle = 0;
  std::memcpy(&FHandle, &thread, sizeof thread);
  FJoinable = true;
}

bool TIdSystemThread::IsCurrent() const { return FJoinable && pthread_equal(Thread(FHandle), pthread_self()); }

void TIdSystemThread::Join() {
  if (!FJoinable) return;
  FJoinable = false;
  pthread_join(Thread(FHandle), nullptr);
}

void TIdSystemThread::Detach() {
  if (!FJoinable) return;
  FJoinable = false;
  pthread_detach(Thread(FHandle));
}
