#pragma once

#include <optional>
#include <utility>
#include <variant>

#include "futures/FutureResult.h"

namespace tessellon {

template <class T>
class Future;

// What a continuation block returns to complete the next future: a value, a
// failure, cancellation, or "complete when this other future does".
template <class T>
class Completion {
 public:
  using ValueType = T;

  static Completion success(T value) {
    return Completion(std::in_place_index<0>, std::move(value));
  }
  static Completion fail(Error error) {
    return Completion(std::in_place_index<1>, std::move(error));
  }
  static Completion cancelled() { return Completion(std::in_place_index<2>, Cancelled{}); }
  static Completion completeUsing(Future<T> other) {
    return Completion(std::in_place_index<3>, std::move(other));
  }
  Completion(FutureResult<T> result)  // NOLINT: a result is a completion
      : Completion(result.isSuccess() ? success(std::move(result).successValue())
                   : result.isFail()  ? fail(result.failure())
                                      : cancelled()) {}
  Completion(Future<T> future)  // NOLINT: a future completes as completeUsing(itself)
      : state_(std::in_place_index<3>, std::move(future)) {}

  bool isSuccess() const { return state_.index() == 0; }
  bool isFail() const { return state_.index() == 1; }
  bool isCancelled() const { return state_.index() == 2; }
  bool isCompleteUsing() const { return state_.index() == 3; }

  std::optional<T> value() const {
    return isSuccess() ? std::optional<T>(std::get<0>(state_)) : std::nullopt;
  }
  std::optional<Error> error() const {
    return isFail() ? std::optional<Error>(std::get<1>(state_)) : std::nullopt;
  }
  // Empty for completeUsing.
  std::optional<FutureResult<T>> result() const {
    if (isSuccess()) return FutureResult<T>::success(std::get<0>(state_));
    if (isFail()) return FutureResult<T>::fail(std::get<1>(state_));
    if (isCancelled()) return FutureResult<T>::cancelled();
    return std::nullopt;
  }
  const Future<T>& other() const { return std::get<3>(state_); }

  T tryValue() const {
    if (isCompleteUsing()) {
      throw ErrorException(makeError(FuturesError::genericError, "Future was not completed."));
    }
    return result()->tryValue();
  }
  void throwIfFail() const {
    if (isFail()) throw ErrorException(std::get<1>(state_));
  }
  void throwIfFailOrCancel() const {
    throwIfFail();
    if (isCancelled()) {
      throw ErrorException(makeError(FuturesError::genericError, "Future was canceled."));
    }
  }

  // Moves the final result out; empty for completeUsing.
  std::optional<FutureResult<T>> takeResult() && {
    if (isSuccess()) return FutureResult<T>::success(std::get<0>(std::move(state_)));
    return result();
  }

 private:
  struct Cancelled {};
  template <size_t I, class V>
  Completion(std::in_place_index_t<I> i, V&& v) : state_(i, std::forward<V>(v)) {}

  std::variant<T, Error, Cancelled, Future<T>> state_;
};

}  // namespace tessellon
