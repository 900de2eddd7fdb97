#pragma once

#include "futures/sync/SynchronizationProtocol.h"

namespace tessellon {

// No lock at all: for state only one thread ever touches.
class UnsafeSynchronization final : public SynchronizationProtocol {
 public:
  void lockAndModify(bool, std::function<void()> modifyBlock, std::function<void()> then) override {
    modifyBlock();
    if (then) then();
  }
  void lockAndRead(bool waitUntilDone, std::function<void()> readBlock,
                   std::function<void()> then) override {
    lockAndModify(waitUntilDone, std::move(readBlock), std::move(then));
  }
  using SynchronizationProtocol::lockAndModify;
  using SynchronizationProtocol::lockAndRead;
};

}  // namespace tessellon
