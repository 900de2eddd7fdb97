#include "futures/MainQueue.h"

namespace tessellon {

void MainQueue::add(std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(work));
  }
  wake_.notify_all();
}

size_t MainQueue::drain() {
  size_t ran = 0;
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return ran;
      work = std::move(queue_.front());
      queue_.pop_front();
    }
    work();
    ++ran;
  }
}

size_t MainQueue::drainFor(std::chrono::milliseconds timeout) {
  {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, timeout, [this] { return !queue_.empty(); });
  }
  return drain();
}

const std::shared_ptr<MainQueue>& MainQueue::shared() {
  static const auto* queue = new std::shared_ptr<MainQueue>(std::make_shared<MainQueue>());
  return *queue;
}

}  // namespace tessellon
