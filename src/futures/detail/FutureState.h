#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "futures/FutureResult.h"
#include "futures/detail/Trampoline.h"
#include "futures/sync/SynchronizationType.h"

namespace tessellon::detail {

// The state a Future and its Promise share.
//
// States: pending (no result, callbacks accumulate) -> completed (result set
// once, callbacks taken). A second completion is ignored.
//
// Rule: callbacks never run while the lock is held. complete() takes the
// callbacks out under the lock and runs them after releasing it; addCallback()
// on a completed state runs the callback outside the lock. So a callback may
// attach to, read or complete any future, this one included.
//
// Long chains: callbacks run through the per-thread completion loop
// (Trampoline.h), so a completion that completes the next future recurses only
// a bounded number of times; and a state dropped with pending callbacks hands them to bury(), so
// releasing an uncompleted million-link chain does not recurse either.
//
// Results are shared, never copied: a callback receives the result by shared pointer, so a
// continuation that runs on another thread, or a future completed with another's result, holds
// the same result (a hundred-thousand-item list or a document's text is not copied per step).
template <class T>
class FutureState : public std::enable_shared_from_this<FutureState<T>> {
 public:
  using SharedResult = std::shared_ptr<const FutureResult<T>>;
  using Callback = std::function<void(const SharedResult&)>;
  using CancelRequestHandler = std::function<void()>;

  FutureState() : lock_(lockObject(GLOBAL_PARMS::LOCKING_STRATEGY.load())) {}
  ~FutureState() {
    if (!callbacks_.empty()) bury(std::make_shared<std::vector<Callback>>(std::move(callbacks_)));
  }
  FutureState(const FutureState&) = delete;
  FutureState& operator=(const FutureState&) = delete;

  // Stores the result and runs the pending callbacks; false if already completed.
  static bool complete(const std::shared_ptr<FutureState>& self, FutureResult<T> result) {
    return complete(self, std::make_shared<const FutureResult<T>>(std::move(result)));
  }
  static bool complete(const std::shared_ptr<FutureState>& self, SharedResult result) {
    std::vector<Callback> callbacks;
    bool completed = self->lock_->lockAndModifySync([&] {
      if (self->result_) return false;
      self->result_ = std::move(result);
      callbacks.swap(self->callbacks_);
      self->cancelRequestHandlers_.clear();
      return true;
    });
    if (completed && !callbacks.empty()) {
      // The result is immutable once set, so reading it without the lock is safe.
      runCompletionWork([self, callbacks = std::move(callbacks)] {
        for (const Callback& callback : callbacks) callback(self->result_);
      });
    }
    return completed;
  }

  // Runs `callback` with the result once there is one (now, if there is). A
  // callback attached to a completed future also goes through the completion
  // loop: a chain whose every step is already complete would otherwise nest
  // once per step. `inlineAlways` runs it on this stack whatever the depth, for a
  // caller that blocks until it has run.
  void addCallback(Callback callback, bool inlineAlways = false) {
    bool completed = lock_->lockAndModifySync([&] {
      if (result_) return true;
      callbacks_.push_back(std::move(callback));
      return false;
    });
    if (!completed) return;
    if (inlineAlways) return callback(result_);
    runCompletionWork([self = this->shared_from_this(), callback = std::move(callback)] {
      callback(self->result_);
    });
  }

  std::optional<FutureResult<T>> result() const {
    return lock_->lockAndReadSync(
        [this] { return result_ ? std::optional<FutureResult<T>>(*result_) : std::nullopt; });
  }
  bool isCompleted() const {
    return lock_->lockAndReadSync([this] { return result_ != nullptr; });
  }

  void addCancelRequestHandler(CancelRequestHandler handler) {
    lock_->lockAndModifySync([&] {
      if (!result_) cancelRequestHandlers_.push_back(std::move(handler));
    });
  }
  // Runs the handlers registered by the producer; nothing once completed.
  void requestCancel() {
    std::vector<CancelRequestHandler> handlers =
        lock_->lockAndModifySync([this] { return cancelRequestHandlers_; });
    for (const auto& handler : handlers) handler();
  }

 private:
  const std::unique_ptr<SynchronizationProtocol> lock_;
  SharedResult result_;
  std::vector<Callback> callbacks_;
  std::vector<CancelRequestHandler> cancelRequestHandlers_;
};

}  // namespace tessellon::detail
