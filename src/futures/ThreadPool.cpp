#include "futures/ThreadPool.h"

#include <algorithm>

namespace tessellon {

ThreadPool::ThreadPool(size_t threadCount) {
  workers_.reserve(threadCount);
  for (size_t i = 0; i < threadCount; ++i) {
    workers_.emplace_back([state = state_] { workerLoop(state); });
  }
}

ThreadPool::~ThreadPool() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->wake.notify_all();
  for (auto& worker : workers_) {
    if (worker.get_id() == std::this_thread::get_id()) {
      worker.detach();
    } else {
      worker.join();
    }
  }
}

void ThreadPool::add(std::function<void()> work) {
  bool wakeOne;
  {
    std::lock_guard lock(state_->mutex);
    state_->queue.push_back(std::move(work));
    wakeOne = state_->idle > 0;
  }
  // A busy pool picks the item up when a worker comes back for more; waking
  // nobody then saves a system call per item.
  if (wakeOne) state_->wake.notify_one();
}

void ThreadPool::workerLoop(const std::shared_ptr<State>& state) {
  std::unique_lock lock(state->mutex);
  for (;;) {
    if (state->queue.empty()) {
      if (state->stopping) return;
      ++state->idle;
      state->wake.wait(lock, [&] { return !state->queue.empty() || state->stopping; });
      --state->idle;
      continue;
    }
    std::function<void()> work = std::move(state->queue.front());
    state->queue.pop_front();
    lock.unlock();
    work();
    work = nullptr;  // release captures outside the lock
    lock.lock();
  }
}

const std::shared_ptr<ThreadPool>& ThreadPool::shared() {
  static const auto* pool = new std::shared_ptr<ThreadPool>(std::make_shared<ThreadPool>(
      std::max<size_t>(4, 2 * size_t{std::max(1U, std::thread::hardware_concurrency())})));
  return *pool;
}

}  // namespace tessellon
