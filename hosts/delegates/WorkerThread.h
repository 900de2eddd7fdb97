#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace tessellon::hosts {

// One thread running posted tasks in order. The thread co-owns the object, so
// an owner that is destroyed on the worker thread itself (by a completion that
// drops the last reference) lets the thread finish its queue alone instead of
// joining itself.
class WorkerThread {
 public:
  static std::shared_ptr<WorkerThread> start() {
    auto worker = std::make_shared<WorkerThread>();
    worker->thread_ = std::thread([worker] { worker->run(); });
    return worker;
  }

  WorkerThread() = default;
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  void post(std::function<void()> task) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(task));
    }
    wake_.notify_one();
  }

  // Lets the queue run empty, then ends the thread; waits for that unless
  // called on the worker thread.
  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();
    } else if (thread_.joinable()) {
      thread_.join();
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
  std::thread thread_;
};

}  // namespace tessellon::hosts
