#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "futures/ExecutionQueue.h"

namespace tessellon {

// Work posted for the main thread. Nothing runs until the main thread drains
// the queue; the library itself never needs it, a host that wants main-thread
// continuations runs drain() in its loop.
class MainQueue final : public ExecutionQueue {
 public:
  void add(std::function<void()> work) override;

  // Runs every item queued now (and those they add) on the calling thread;
  // returns how many ran.
  size_t drain();
  // Waits up to `timeout` for an item, then drains; returns how many ran.
  size_t drainFor(std::chrono::milliseconds timeout);

  static const std::shared_ptr<MainQueue>& shared();

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> queue_;
};

}  // namespace tessellon
