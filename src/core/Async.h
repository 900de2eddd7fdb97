#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "tessellon/Error.h"

#include "futures/SerialQueue.h"

namespace tessellon {

// The library's own serial queue, "BackupSDK background queue": host answers,
// progress and cancellation callbacks are delivered on it, one at a time, in
// order.
class Async {
 public:
  // Created on first use, kept for the life of the process.
  static const std::shared_ptr<SerialQueue>& backgroundQueue();

  // Runs `action` on the background queue, then `completion` (if any) with the
  // error the action threw, or none.
  static void background(std::function<void(std::optional<Error>)> completion,
                         std::function<void()> action);
  static void background(std::function<void()> action) { background(nullptr, std::move(action)); }
};

}  // namespace tessellon
