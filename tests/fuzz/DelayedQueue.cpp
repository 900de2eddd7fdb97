#include "fuzz/DelayedQueue.h"

#include <utility>

namespace tessellon::fuzz {

DelayedQueue::DelayedQueue() : thread_([this] { loop(); }) {}

DelayedQueue::~DelayedQueue() { stop(); }

void DelayedQueue::post(std::chrono::milliseconds delay, std::function<void()> action) {
  {
    std::lock_guard lock(mutex_);
    if (!stopping_) {
      due_.emplace(std::chrono::steady_clock::now() + delay, std::move(action));
      changed_.notify_one();
      return;
    }
  }
  action();
}

void DelayedQueue::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    changed_.notify_one();
  }
  if (thread_.joinable()) thread_.join();
}

void DelayedQueue::loop() {
  std::unique_lock lock(mutex_);
  while (true) {
    if (due_.empty()) {
      if (stopping_) return;
      changed_.wait(lock);
      continue;
    }
    auto first = due_.begin();
    // Once stopping, nothing waits for its time any more.
    if (!stopping_ && first->first > std::chrono::steady_clock::now()) {
      changed_.wait_until(lock, first->first);
      continue;
    }
    std::function<void()> action = std::move(first->second);
    due_.erase(first);
    // An answer may post again (a second completion, a request it triggers).
    lock.unlock();
    action();
    lock.lock();
  }
}

}  // namespace tessellon::fuzz
