#pragma once

#include <functional>
#include <mutex>
#include <utility>

#include "futures/sync/SynchronizationProtocol.h"

namespace tessellon {

// The lock kinds that run a block under a lock of type `Lock`, synchronously on the calling
// thread, then its continuation outside the lock; they differ only in the lock. Reading and
// modifying take the same lock.
template <class Lock>
class LockSynchronization final : public SynchronizationProtocol {
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
  Lock lock_;
};

// A lock that excludes nothing.
struct NoLock {
  void lock() {}
  void unlock() {}
};

// The default lock of a future: a plain, non-recursive mutex.
using PThreadMutexSynchronization = LockSynchronization<std::mutex>;
// A non-recursive lock.
using NSLockSynchronization = LockSynchronization<std::mutex>;
// A recursive lock: a block may take the same lock again on its thread.
using NSRecursiveLockSynchronization = LockSynchronization<std::recursive_mutex>;
// A monitor on a plain object: recursive too.
using NSObjectLockSynchronization = LockSynchronization<std::recursive_mutex>;
// No lock at all: for state only one thread ever touches.
using UnsafeSynchronization = LockSynchronization<NoLock>;

}  // namespace tessellon
