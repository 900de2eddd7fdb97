#include "futures/ThreadPool.h"

#include <algorithm>

namespace tessellon {

ThreadPool::ThreadPool(size_t threadCount) {
  workers_.reserve(threadCount);
  for (size_t i = 0; i < threadCount; ++i) workers_.emplace_back([this] { workerLoop(); });
}

ThreadPool::~ThreadPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (auto& worker : workers_) worker.join();
}

void ThreadPool::add(std::function<void()> work) {
  bool wakeOne;
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(work));
    wakeOne = idle_ > 0;
  }
  // A busy pool picks the item up when a worker comes back for more; waking
  // nobody then saves a system call per item.
  if (wakeOne) wake_.notify_one();
}

void ThreadPool::workerLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (queue_.empty()) {
      if (stopping_) return;
      ++idle_;
      wake_.wait(lock, [this] { return !queue_.empty() || stopping_; });
      --idle_;
      continue;
    }
    std::function<void()> work = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    work();
    work = nullptr;  // release captures outside the lock
    lock.lock();
  }
}

const std::shared_ptr<ThreadPool>& ThreadPool::shared() {
  static const auto* pool = new std::shared_ptr<ThreadPool>(std::make_shared<ThreadPool>(
      std::max<size_t>(4, 2 * std::max(1U, std::thread::hardware_concurrency()))));
  return *pool;
}

}  // namespace tessellon
