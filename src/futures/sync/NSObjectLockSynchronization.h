#pragma once

#include <mutex>

#include "futures/sync/SynchronizationProtocol.h"

namespace tessellon {

// A monitor on a plain object: recursive, synchronous on the calling thread.
class NSObjectLockSynchronization final : public SynchronizationProtocol {
 public:
  void lockAndModify(bool, std::function<void()> modifyBlock, std::function<void()> then) override {
    {
      std::lock_guard lock(monitor_);
      modifyBlock();
    }
    if (then) then();
  }
  void lockAndRead(bool waitUntilDone, std::function<void()> readBlock,
                   std::function<void()> then) override {
    lockAndModify(waitUntilDone, std::move(readBlock), std::move(then));
  }
  using SynchronizationProtocol::lockAndModify;
  using SynchronizationProtocol::lockAndRead;

 private:
  std::recursive_mutex monitor_;
};

}  // namespace tessellon
