#pragma once

#include <memory>

#include "futures/DispatchQueue.h"
#include "futures/sync/SynchronizationProtocol.h"

namespace tessellon {

// Modifications run as barrier items of the queue, reads as ordinary items (side
// by side when the queue is concurrent). `then` runs inside the queue item.
class QueueBarrierSynchronization final : public SynchronizationProtocol {
 public:
  explicit QueueBarrierSynchronization(std::shared_ptr<DispatchQueue> queue)
      : queue_(std::move(queue)) {}

  void lockAndModify(bool waitUntilDone, std::function<void()> modifyBlock,
                     std::function<void()> then) override {
    auto item = [block = std::move(modifyBlock), then = std::move(then)] {
      block();
      if (then) then();
    };
    waitUntilDone ? queue_->syncBarrier(item) : queue_->asyncBarrier(std::move(item));
  }
  void lockAndRead(bool waitUntilDone, std::function<void()> readBlock,
                   std::function<void()> then) override {
    auto item = [block = std::move(readBlock), then = std::move(then)] {
      block();
      if (then) then();
    };
    waitUntilDone ? queue_->sync(item) : queue_->async(std::move(item));
  }
  using SynchronizationProtocol::lockAndModify;
  using SynchronizationProtocol::lockAndRead;

 private:
  const std::shared_ptr<DispatchQueue> queue_;
};

}  // namespace tessellon
