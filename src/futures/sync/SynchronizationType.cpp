#include "futures/sync/SynchronizationType.h"

#include "futures/sync/NSLockSynchronization.h"
#include "futures/sync/NSObjectLockSynchronization.h"
#include "futures/sync/NSRecursiveLockSynchronization.h"
#include "futures/sync/PThreadMutexSynchronization.h"
#include "futures/sync/QueueBarrierSynchronization.h"
#include "futures/sync/QueueSerialSynchronization.h"
#include "futures/sync/UnsafeSynchronization.h"

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
      return std::make_unique<QueueSerialSynchronization>(
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
