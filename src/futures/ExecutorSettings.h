#pragma once

#include "futures/Executor.h"

namespace tessellon {

// Process-wide choices behind the named executors. Set them at start-up only;
// reads and writes are thread safe.

// What `primary` means; initially current. Setting a main-queue executor logs a
// warning (and takes effect).
struct PrimaryExecutor {
  static Executor get();
  static void set(const Executor& executor);
};

// What `main` means; initially mainImmediate.
struct MainExecutor {
  static Executor get();
  static void set(const Executor& executor);
};

// What `async` means; initially defaultQoS. Setting mainAsync logs a warning.
struct AsyncExecutor {
  static Executor get();
  static void set(const Executor& executor);
};

}  // namespace tessellon
