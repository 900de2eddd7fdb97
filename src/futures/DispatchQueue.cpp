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

void DispatchQueue::enqueue(std::function<void()> work, bool barrier) {
  std::unique_lock lock(mutex_);
  pending_.push_back(Item{std::move(work), barrier || kind_ == Kind::serial});
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
    // The item keeps the queue alive until it has run.
    target_->add([self = shared_from_this(), work = std::move(item.work), barrier = item.barrier] {
      work();
      self->finished(barrier);
    });
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
  std::mutex doneMutex;
  std::condition_variable doneSignal;
  bool done = false;
  enqueue(
      [&] {
        work();
        std::lock_guard lock(doneMutex);
        done = true;
        doneSignal.notify_one();
      },
      barrier);
  std::unique_lock lock(doneMutex);
  doneSignal.wait(lock, [&] { return done; });
}

}  // namespace tessellon
