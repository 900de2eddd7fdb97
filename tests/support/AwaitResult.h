#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

#include "futures/Future.h"

namespace tessellon {

// The future's result once it completes, or nothing after `timeout`, so a future that never
// completes fails the test instead of hanging it. Does not drain the main queue.
template <class T>
std::optional<FutureResult<T>> awaitResult(
    const Future<T>& future, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  struct Waiter {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<FutureResult<T>> result;
  };
  auto waiter = std::make_shared<Waiter>();
  // Immediate, so delivery depends on no queue, not even a saturated pool.
  future.onComplete(Executor::immediate(), [waiter](const FutureResult<T>& result) {
    std::lock_guard lock(waiter->mutex);
    waiter->result = result;
    waiter->done.notify_all();
  });
  std::unique_lock lock(waiter->mutex);
  waiter->done.wait_for(lock, timeout, [&] { return waiter->result.has_value(); });
  return waiter->result;
}

}  // namespace tessellon
