#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "futures/Result.h"

namespace tessellon {

// Cancellation flag of one operation, shared by every service the operation
// calls. Services poll isCanceled() between steps or register a handler that
// aborts their current asynchronous step. Registration and cancellation are
// serialised by a recursive monitor, so each handler runs exactly once: at
// cancel() if registered before, at once in onCancel() if after. Handlers run
// on the cancelling thread with the monitor held; they must not wait for other
// threads that use the same token.
class CancelToken {
 public:
  CancelToken() = default;
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  bool isCanceled() const { return isCanceled_.load(std::memory_order_acquire); }

  // Registers `handler`, or runs it now when already cancelled. A handler that
  // throws fails the call with its error.
  Result<void> onCancel(std::function<void()> handler);

  // Sets the flag and runs the handlers in registration order, once. If one
  // throws, the rest do not run and its error is returned; the token stays
  // cancelled. A second call does nothing.
  Result<void> cancel();

 private:
  std::recursive_mutex lock_;
  std::atomic<bool> isCanceled_{false};
  std::vector<std::function<void()>> handlers_;
};

// Whether `token` was cancelled; a null token never is.
inline bool isCancelled(const std::shared_ptr<CancelToken>& token) {
  return token && token->isCanceled();
}

}  // namespace tessellon
