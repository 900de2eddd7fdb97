#pragma once

#include "futures/Executor.h"

namespace tessellon {

// Per-thread record of the executor whose continuation is running, and the
// main-thread test. The main thread is the process's initial thread.
class CurrentExecutor {
 public:
  // The executor of the continuation running on this thread, or null.
  static const Executor* get();
  static bool isMainThread();

  // Marks a continuation's run on this thread; restores the previous value.
  class Scope {
   public:
    explicit Scope(const Executor& executor);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    const Executor* previous_;
  };
};

}  // namespace tessellon
