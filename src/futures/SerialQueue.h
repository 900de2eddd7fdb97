#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
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
  // Runs what is queued, then joins the thread; released by its own work item,
  // the thread finishes the queue on its own.
  ~SerialQueue() override;

  void add(std::function<void()> work) override;
  const std::string& label() const { return label_; }
  // True on the queue's own thread.
  bool isCurrent() const { return std::this_thread::get_id() == threadId_; }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> queue;
    bool stopping = false;
  };
  static void run(const std::shared_ptr<State>& state);

  const std::string label_;
  const std::shared_ptr<State> state_ = std::make_shared<State>();
  std::thread thread_;
  std::thread::id threadId_;
};

}  // namespace tessellon
