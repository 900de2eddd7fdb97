#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace tessellon::hosts {

// A fixed number of threads running posted tasks, oldest first. The threads co-own the pool, so
// an owner destroyed on one of them (by a completion that drops the last reference) lets the
// pool finish its queue alone instead of joining itself.
class WorkerPool {
 public:
  static std::shared_ptr<WorkerPool> start(size_t threads) {
    auto pool = std::make_shared<WorkerPool>();
    for (size_t i = 0; i < std::max<size_t>(threads, 1); ++i) {
      pool->threads_.emplace_back([pool] { pool->run(); });
    }
    return pool;
  }

  WorkerPool() = default;
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  void post(std::function<void()> task) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(task));
    }
    wake_.notify_one();
  }

  // Lets the queue run empty, then ends the threads; waits for the others when called on one
  // of them, for all of them otherwise.
  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) {
      if (thread.get_id() == std::this_thread::get_id()) {
        thread.detach();
      } else if (thread.joinable()) {
        thread.join();
      }
    }
  }

 private:
  void run() {
    for (;;) {
      std::function<void()> task;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;
        task = std::move(queue_.front());
        queue_.pop_front();
      }
      try {
        task();
      } catch (...) {
        // A throwing completion must not take the worker down with it.
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace tessellon::hosts
