#pragma once

#include <chrono>
#include <future>

#include "core/Async.h"

namespace tessellon {

// Waits until everything queued on the background queue so far has run; false after `timeout`.
inline bool flushBackgroundQueue(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> flushed = done->get_future();
  Async::background([done] { done->set_value(); });
  return flushed.wait_for(timeout) == std::future_status::ready;
}

}  // namespace tessellon
