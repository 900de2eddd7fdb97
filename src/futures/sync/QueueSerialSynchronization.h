#pragma once

#include <memory>

#include "futures/DispatchQueue.h"
#include "futures/sync/SynchronizationProtocol.h"

namespace tessellon {

// Every block runs as an item of a serial queue; `then` runs inside the item.
class QueueSerialSynchronization final : public SynchronizationProtocol {
 public:
  explicit QueueSerialSynchronization(std::shared_ptr<DispatchQueue> queue)
      : queue_(std::move(queue)) {}

  void lockAndModify(bool waitUntilDone, std::function<void()> modifyBlock,
                     std::function<void()> then) override {
    auto item = [block = std::move(modifyBlock), then = std::move(then)] {
      block();
      if (then) then();
    };
    waitUntilDone ? queue_->sync(item) : queue_->async(std::move(item));
  }
  void lockAndRead(bool waitUntilDone, std::function<void()> readBlock,
                   std::function<void()> then) override {
    lockAndModify(waitUntilDone, std::move(readBlock), std::move(then));
  }
  using SynchronizationProtocol::lockAndModify;
  using SynchronizationProtocol::lockAndRead;

 private:
  const std::shared_ptr<DispatchQueue> queue_;
};

}  // namespace tessellon
