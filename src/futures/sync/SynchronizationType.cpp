#include "futures/sync/SynchronizationType.h"

#include "futures/sync/LockSynchronization.h"
#include "futures/sync/QueueBarrierSynchronization.h"

namespace tessellon {

std::atomic<SynchronizationType> GLOBAL_PARMS::LOCKING_STRATEGY{SynchronizationType::pThreadMutex};

std::unique_ptr<SynchronizationProtocol> lockObject(SynchronizationType type) {
  switch (type) {
    case SynchronizationType::barrierConcurrent:
      return std::make_unique<QueueBarrierSynchronization>(
          DispatchQueue::make(DispatchQueue::Kind::concurrent, "QueueBarrierSynchronization"));
    case SynchronizationType::barrierSerial:
      return std::make_unique<QueueBarrierSynchronization>(
          DispatchQueue::make(DispatchQueue::Kind::serial, "QueueBarrierSynchronization"));
    case SynchronizationType::serialQueue:
      // Every block one at a time: on a serial queue a barrier item is an ordinary one.
      return std::make_unique<QueueBarrierSynchronization>(
          DispatchQueue::make(DispatchQueue::Kind::serial, "QueueSerialSynchronization"));
    case SynchronizationType::nsObjectLock:
      return std::make_unique<NSObjectLockSynchronization>();
    case SynchronizationType::nsLock:
      return std::make_unique<NSLockSynchronization>();
    case SynchronizationType::nsRecursiveLock:
      return std::make_unique<NSRecursiveLockSynchronization>();
    case SynchronizationType::pThreadMutex:
      return std::make_unique<PThreadMutexSynchronization>();
    case SynchronizationType::unsafe:
      return std::make_unique<UnsafeSynchronization>();
  }
  return std::make_unique<PThreadMutexSynchronization>();
}

}  // namespace tessellon
