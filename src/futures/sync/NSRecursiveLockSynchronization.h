#pragma once

#include <mutex>

#include "futures/sync/SynchronizationProtocol.h"

namespace tessellon {

// A recursive lock: a block may take the same lock again on its thread.
class NSRecursiveLockSynchronization final : public SynchronizationProtocol {
 public:
  void lockAndModify(bool, std::function<void()> modifyBlock, std::function<void()> then) override {
    {
      std::lock_guard lock(lock_);
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
  std::recursive_mutex lock_;
};

}  // namespace tessellon
