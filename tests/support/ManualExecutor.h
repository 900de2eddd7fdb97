#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "futures/ExecutionQueue.h"
#include "futures/Executor.h"

namespace tessellon {

// A queue that runs nothing until the test says so, making the order of continuations observable.
// add() may be called from any thread; run() and drain() run items on the calling thread.
class ManualExecutor final : public ExecutionQueue,
                             public std::enable_shared_from_this<ManualExecutor> {
 public:
  static std::shared_ptr<ManualExecutor> make() { return std::make_shared<ManualExecutor>(); }

  // An executor that posts to this queue; it keeps the queue alive.
  Executor executor() { return Executor::queue(shared_from_this()); }

  void add(std::function<void()> work) override {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(work));
  }

  // Runs the oldest item; false when there was none.
  bool run() {
    std::function<void()> work;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return false;
      work = std::move(queue_.front());
      queue_.pop_front();
    }
    work();
    return true;
  }

  // Runs items, including those added meanwhile, until none is left; returns how many ran.
  size_t drain() {
    size_t ran = 0;
    while (run()) ++ran;
    return ran;
  }

  size_t pending() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::deque<std::function<void()>> queue_;
};

}  // namespace tessellon
