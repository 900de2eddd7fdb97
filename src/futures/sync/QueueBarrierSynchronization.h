#pragma once

#include <functional>
#include <memory>
#include <utility>

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
    auto item = queueItem(std::move(modifyBlock), std::move(then));
    waitUntilDone ? queue_->syncBarrier(item) : queue_->asyncBarrier(std::move(item));
  }
  void lockAndRead(bool waitUntilDone, std::function<void()> readBlock,
                   std::function<void()> then) override {
    auto item = queueItem(std::move(readBlock), std::move(then));
    waitUntilDone ? queue_->sync(item) : queue_->async(std::move(item));
  }
  using SynchronizationProtocol::lockAndModify;
  using SynchronizationProtocol::lockAndRead;

 private:
  static std::function<void()> queueItem(std::function<void()> block, std::function<void()> then) {
    return [block = std::move(block), then = std::move(then)] {
      block();
      if (then) then();
    };
  }

  const std::shared_ptr<DispatchQueue> queue_;
};

}  // namespace tessellon
