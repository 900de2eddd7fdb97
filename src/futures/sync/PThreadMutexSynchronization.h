#pragma once

#include <mutex>

#include "futures/sync/SynchronizationProtocol.h"

namespace tessellon {

// The default lock of a future: a plain, non-recursive mutex. Always
// synchronous on the calling thread.
class PThreadMutexSynchronization final : public SynchronizationProtocol {
 public:
  void lockAndModify(bool, std::function<void()> modifyBlock, std::function<void()> then) override {
    {
      std::lock_guard lock(mutex_);
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
  std::mutex mutex_;
};

}  // namespace tessellon
