#include "Protocol/MyThread.h"

#include <cstdio>

MyThread::MyThread() = default;

MyThread::~MyThread() { Stop(); }

void* MyThread::thread_func(void* arg) {
  auto* self = static_cast<MyThread*>(arg);
  // A Stop that came before the thread got going wins.
  if (!self->Shutdown.load()) {
    self->Running.store(true);
    self->Run();
  }
  self->Running.store(false);
  return nullptr;
}

void MyThread::Start() {
  Shutdown.store(false);
  Running.store(true);
  Joined.store(false);
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, kStackSize);
  pthread_t id{};
  if (pthread_create(&id, &attr, &MyThread::thread_func, this) != 0) {
    printf("pthread_create() failed\n");
    fflush(stdout);
    Running.store(false);
    Joined.store(true);
  } else {
    thread_id = id;
  }
  pthread_attr_destroy(&attr);
}

void MyThread::Stop() {
  Shutdown.store(true);
  Running.store(false);
  if (!Joined.load() && thread_id != pthread_t{}) {
    pthread_join(thread_id, nullptr);
    Joined.store(true);
  }
}
