#include "tests/thread.h"

#include <cstdlib>
#include <utility>

namespace miyi::testing {
namespace {

void* run(void* body) {
  (*static_cast<std::function<void()>*>(body))();
  return nullptr;
}

}  // namespace

Thread::Thread(std::function<void()> body)
    : body_(std::make_unique<std::function<void()>>(std::move(body))) {
  if (pthread_create(&id_, nullptr, run, body_.get()) != 0) std::abort();
}

Thread::Thread(Thread&& other) noexcept : body_(std::move(other.body_)), id_(other.id_) {}

Thread& Thread::operator=(Thread&& other) noexcept {
  if (this != &other) {
    join();
    body_ = std::move(other.body_);
    id_ = other.id_;
  }
  return *this;
}

Thread::~Thread() { join(); }

void Thread::join() {
  if (!body_) return;
  pthread_join(id_, nullptr);
  body_.reset();
}

}  // namespace miyi::testing
