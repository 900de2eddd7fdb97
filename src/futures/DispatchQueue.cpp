#include "futures/DispatchQueue.h"

#include <condition_variable>

#include "futures/ThreadPool.h"

namespace tessellon {

std::shared_ptr<DispatchQueue> DispatchQueue::make(Kind kind, std::string label,
                                                   std::shared_ptr<ExecutionQueue> target) {
  if (label.empty()) label = kind == Kind::serial ? "futures-serialq" : "futures-concurrentq";
  if (!target) target = ThreadPool::shared();
  return std::make_shared<DispatchQueue>(kind, std::move(label), std::move(target));
}

DispatchQueue::DispatchQueue(Kind kind, std::string label, std::shared_ptr<ExecutionQueue> target)
    : kind_(kind), label_(std::move(label)), target_(std::move(target)) {}

struct DispatchQueue::SyncSlot {
  std::mutex mutex;
  std::condition_variable started;
  bool mayStart = false;
};

void DispatchQueue::enqueue(Item item) {
  std::unique_lock lock(mutex_);
  pending_.push_back(std::move(item));
  startReady(lock);
}

void DispatchQueue::startReady(std::unique_lock<std::mutex>& lock) {
  while (!pending_.empty() && !barrierRunning_) {
    Item& next = pending_.front();
    if (next.barrier && running_ > 0) return;
    Item item = std::move(next);
    pending_.pop_front();
    ++running_;
    barrierRunning_ = item.barrier;
    lock.unlock();
    if (item.sync) {
      std::lock_guard slotLock(item.sync->mutex);
      item.sync->mayStart = true;
      item.sync->started.notify_one();
    } else {
      // The item keeps the queue alive until it has run.
      target_->add(
          [self = shared_from_this(), work = std::move(item.work), barrier = item.barrier] {
            work();
            self->finished(barrier);
          });
    }
    lock.lock();
  }
}

void DispatchQueue::finished(bool barrier) {
  std::unique_lock lock(mutex_);
  --running_;
  if (barrier) barrierRunning_ = false;
  startReady(lock);
}

void DispatchQueue::runAndWait(const std::function<void()>& work, bool barrier) {
  auto slot = std::make_shared<SyncSlot>();
  barrier = barrier || kind_ == Kind::serial;
  enqueue(Item{nullptr, barrier, slot});
  {
    std::unique_lock lock(slot->mutex);
    slot->started.wait(lock, [&] { return slot->mayStart; });
  }
  try {
    work();
  } catch (...) {
    finished(barrier);
    throw;
  }
  finished(barrier);
}

}  // namespace tessellon
