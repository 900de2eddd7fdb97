#pragma once

#include <optional>
#include <utility>
#include <variant>

#include "tessellon/Error.h"

#include "futures/ErrorException.h"
#include "futures/FuturesError.h"

namespace tessellon {

// The value of a future that has no value.
struct Void {
  friend bool operator==(Void, Void) { return true; }
};

// The final state of a completed future: success(T), fail(Error) or cancelled.
// Cancellation is an outcome, never an error.
template <class T>
class FutureResult {
 public:
  using ValueType = T;

  static FutureResult success(T value) { return FutureResult(Tag<0>{}, std::move(value)); }
  static FutureResult fail(Error error) { return FutureResult(Tag<1>{}, std::move(error)); }
  static FutureResult cancelled() { return FutureResult(Tag<2>{}, Cancelled{}); }

  bool isSuccess() const { return state_.index() == 0; }
  bool isFail() const { return state_.index() == 1; }
  bool isCancelled() const { return state_.index() == 2; }
  static constexpr bool isCompleteUsing() { return false; }

  std::optional<T> value() const {
    return isSuccess() ? std::optional<T>(std::get<0>(state_)) : std::nullopt;
  }
  std::optional<Error> error() const {
    return isFail() ? std::optional<Error>(std::get<1>(state_)) : std::nullopt;
  }
  // Preconditions: isSuccess() / isFail(); reads without copying.
  const T& successValue() const& { return std::get<0>(state_); }
  T&& successValue() && { return std::get<0>(std::move(state_)); }
  const Error& failure() const { return std::get<1>(state_); }

  // The value; throws the failure, or genericError("Future was canceled.").
  T tryValue() const& {
    throwIfFailOrCancel();
    return std::get<0>(state_);
  }
  T tryValue() && {
    throwIfFailOrCancel();
    return std::get<0>(std::move(state_));
  }
  void throwIfFail() const {
    if (isFail()) throw ErrorException(failure());
  }
  void throwIfFailOrCancel() const {
    throwIfFail();
    if (isCancelled()) {
      throw ErrorException(makeError(FuturesError::genericError, "Future was canceled."));
    }
  }

 private:
  struct Cancelled {};
  template <int>
  struct Tag {};
  template <int I, class V>
  FutureResult(Tag<I>, V&& v) : state_(std::in_place_index<I>, std::forward<V>(v)) {}

  std::variant<T, Error, Cancelled> state_;
};

}  // namespace tessellon
