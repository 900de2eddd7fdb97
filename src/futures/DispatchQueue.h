#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "futures/ExecutionQueue.h"

namespace tessellon {

// A labelled queue whose items run on another queue (the shared pool by
// default), either one at a time (serial) or side by side (concurrent). A
// barrier item runs alone: after everything added before it and before
// anything added after it. Items start in the order they were added.
class DispatchQueue final : public ExecutionQueue,
                            public std::enable_shared_from_this<DispatchQueue> {
 public:
  enum class Kind { serial, concurrent };

  // Queues without a label are "futures-serialq" and "futures-concurrentq".
  static std::shared_ptr<DispatchQueue> make(Kind kind, std::string label = {},
                                             std::shared_ptr<ExecutionQueue> target = nullptr);

  void add(std::function<void()> work) override { async(std::move(work)); }
  void async(std::function<void()> work) { enqueue(std::move(work), false); }
  void asyncBarrier(std::function<void()> work) { enqueue(std::move(work), true); }
  // Run `work` on the calling thread once the queue lets it start, and return
  // after it ran; no thread of the target is needed, so sync callers on pool
  // threads cannot starve the pool. Calling them from an item of this same
  // serial queue deadlocks, as with any serial queue.
  void sync(const std::function<void()>& work) { runAndWait(work, false); }
  void syncBarrier(const std::function<void()>& work) { runAndWait(work, true); }

  Kind kind() const { return kind_; }
  const std::string& label() const { return label_; }

  DispatchQueue(Kind kind, std::string label, std::shared_ptr<ExecutionQueue> target);

 private:
  struct SyncSlot;
  struct Item {
    std::function<void()> work;
    bool barrier;
    std::shared_ptr<SyncSlot> sync;  // set for sync items: the caller runs them
  };
  void enqueue(Item item);
  void enqueue(std::function<void()> work, bool barrier) {
    enqueue(Item{std::move(work), barrier || kind_ == Kind::serial, nullptr});
  }
  void runAndWait(const std::function<void()>& work, bool barrier);
  // Starts every item that may start now. Called with mutex_ held.
  void startReady(std::unique_lock<std::mutex>& lock);
  void finished(bool barrier);

  const Kind kind_;
  const std::string label_;
  const std::shared_ptr<ExecutionQueue> target_;
  std::mutex mutex_;
  std::deque<Item> pending_;
  size_t running_ = 0;
  bool barrierRunning_ = false;
};

}  // namespace tessellon
