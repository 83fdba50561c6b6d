// Threads and a mutex for the test programs, on POSIX threads.
//
// The Windows builds use the compiler's win32 thread model (see
// cmake/mingw-w64.cmake), whose C++ library in this GCC has no std::thread
// and no std::mutex. MinGW-w64 ships POSIX threads (winpthreads) for the
// programs that want them: the test programs link them, the plug-in does not.
#pragma once

#include <pthread.h>

#include <functional>
#include <memory>

namespace miyi::testing {

// A thread running `body`; joined at the latest when the object goes.
class Thread {
 public:
  Thread() = default;
  explicit Thread(std::function<void()> body);
  Thread(Thread&& other) noexcept;
  Thread& operator=(Thread&& other) noexcept;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  ~Thread();

  bool joinable() const { return body_ != nullptr; }
  void join();

 private:
  std::unique_ptr<std::function<void()>> body_;  // set while the thread runs
  pthread_t id_{};
};

// A mutex, held for a scope by a Lock (std::lock_guard is missing too).
class Mutex {
 public:
  Mutex() { pthread_mutex_init(&mutex_, nullptr); }
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  ~Mutex() { pthread_mutex_destroy(&mutex_); }
  void lock() { pthread_mutex_lock(&mutex_); }
  void unlock() { pthread_mutex_unlock(&mutex_); }

 private:
  pthread_mutex_t mutex_;
};

class Lock {
 public:
  explicit Lock(Mutex& mutex) : mutex_(mutex) { mutex_.lock(); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  ~Lock() { mutex_.unlock(); }

 private:
  Mutex& mutex_;
};

}  // namespace miyi::testing
