#pragma once

#include <mutex>

#include "futures/sync/SynchronizationProtocol.h"

namespace tessellon {

// A non-recursive lock, synchronous on the calling thread.
class NSLockSynchronization final : public SynchronizationProtocol {
 public:
  void lockAndModify(bool, std::function<void()> modifyBlock, std::function<void()> then) override {
    lock_.lock();
    modifyBlock();
    lock_.unlock();
    if (then) then();
  }
  void lockAndRead(bool waitUntilDone, std::function<void()> readBlock,
                   std::function<void()> then) override {
    lockAndModify(waitUntilDone, std::move(readBlock), std::move(then));
  }
  using SynchronizationProtocol::lockAndModify;
  using SynchronizationProtocol::lockAndRead;

 private:
  std::mutex lock_;
};

}  // namespace tessellon
