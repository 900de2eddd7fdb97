#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "futures/ExecutionQueue.h"

namespace tessellon {

// Runs work items one at a time, in the order added, on a thread of its own.
// A dedicated thread (rather than a strand on the pool) keeps the queue live
// even when every pool thread is blocked waiting for something it delivers.
class SerialQueue final : public ExecutionQueue {
 public:
  explicit SerialQueue(std::string label);
  // Runs what is queued, then joins the thread. Never destroy a queue from its
  // own thread.
  ~SerialQueue() override;

  void add(std::function<void()> work) override;
  const std::string& label() const { return label_; }
  // True on the queue's own thread.
  bool isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  void run();

  const std::string label_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> queue_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace tessellon
