#include "core/CancelToken.h"

#include "futures/FuturesError.h"

namespace tessellon {

Result<void> CancelToken::onCancel(std::function<void()> handler) {
  std::lock_guard lock(lock_);
  if (!isCanceled()) {
    handlers_.push_back(std::move(handler));
    return {};
  }
  try {
    handler();
  } catch (...) {
    return errorFromException(std::current_exception());
  }
  return {};
}

Result<void> CancelToken::cancel() {
  std::lock_guard lock(lock_);
  if (isCanceled()) return {};
  isCanceled_.store(true, std::memory_order_release);
  try {
    for (const auto& handler : handlers_) handler();
  } catch (...) {
    // The list stays as it is: the handlers after the failing one never run.
    return errorFromException(std::current_exception());
  }
  handlers_.clear();
  return {};
}

}  // namespace tessellon
