#pragma once

#include <atomic>
#include <memory>

#include "futures/sync/SynchronizationProtocol.h"

namespace tessellon {

// The lock kinds a future may guard its state with.
enum class SynchronizationType : int {
  barrierConcurrent = 0,
  barrierSerial = 1,
  serialQueue = 2,
  nsObjectLock = 3,
  nsLock = 4,
  nsRecursiveLock = 5,
  pThreadMutex = 6,
  unsafe = 7,
};

// A new lock object of this kind.
std::unique_ptr<SynchronizationProtocol> lockObject(SynchronizationType type);

// Process-wide parameters of the futures library. Every future reads
// LOCKING_STRATEGY once, when it is created.
struct GLOBAL_PARMS {
  static std::atomic<SynchronizationType> LOCKING_STRATEGY;
};

}  // namespace tessellon
