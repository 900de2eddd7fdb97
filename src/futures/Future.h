#pragma once

#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "futures/Completion.h"
#include "futures/Executor.h"
#include "futures/FutureResult.h"
#include "futures/detail/FutureState.h"

namespace tessellon {

template <class T>
class Promise;

namespace detail {

template <class R>
struct ContinuationValue {
  using type = R;
};
template <>
struct ContinuationValue<void> {
  using type = Void;
};
template <class U>
struct ContinuationValue<Completion<U>> {
  using type = U;
};
template <class U>
struct ContinuationValue<FutureResult<U>> {
  using type = U;
};
template <class U>
struct ContinuationValue<Future<U>> {
  using type = U;
};

template <class R>
inline constexpr bool kIsCompletionType = false;
template <class U>
inline constexpr bool kIsCompletionType<Completion<U>> = true;
template <class U>
inline constexpr bool kIsCompletionType<FutureResult<U>> = true;
template <class U>
inline constexpr bool kIsCompletionType<Future<U>> = true;

}  // namespace detail

// A result that will be there later: success(T), fail(Error) or cancelled. A
// cheap handle to shared state; copies observe the same future. Produced by a
// Promise; consumed by attaching continuations, each of which runs once, on the
// executor it names (primary unless given), and returns a new future.
//
// Thread safety: every method may be called from any thread. Continuations
// never run while the future's lock is held. Exceptions a block throws fail the
// future the continuation returned (see errorFromException).
template <class T>
class Future {
 public:
  using ValueType = T;

  // Already completed futures.
  static Future success(T value);
  static Future fail(Error error);
  static Future failWithErrorMessage(std::string message);  // genericError(message)
  static Future cancelled();
  static Future completeUsing(Completion<T> completion);

  // Snapshots; empty while pending.
  std::optional<FutureResult<T>> result() const { return state_->result(); }
  std::optional<T> value() const;
  std::optional<Error> error() const;
  bool isCompleted() const { return state_->isCompleted(); }

  // block(const FutureResult<T>&) returns a Completion<U>, FutureResult<U> or
  // Future<U> (or nothing: Future<Void>). Result: Future<U>.
  template <class F>
  auto onComplete(const Executor& executor, F&& block) const;
  template <class F>
  auto onComplete(F&& block) const {
    return onComplete(Executor::primary(), std::forward<F>(block));
  }

  // On success calls block(value), which returns a plain U, a completion type of
  // U, or nothing (Void). Failure and cancellation pass through unchanged and
  // the block does not run. A Void future's block may take no argument.
  template <class F>
  auto onSuccess(const Executor& executor, F&& block) const;
  template <class F>
  auto onSuccess(F&& block) const {
    return onSuccess(Executor::primary(), std::forward<F>(block));
  }

  // On failure calls block(error); the returned future completes with this
  // future's result in every case.
  template <class F>
  Future<T> onFail(const Executor& executor, F&& block) const;
  template <class F>
  Future<T> onFail(F&& block) const {
    return onFail(Executor::primary(), std::forward<F>(block));
  }

  // On cancellation calls block(); passes this future's result on.
  template <class F>
  Future<T> onCancel(const Executor& executor, F&& block) const;
  template <class F>
  Future<T> onCancel(F&& block) const {
    return onCancel(Executor::primary(), std::forward<F>(block));
  }

  // Blocks the calling thread until the future completes. On the main thread a
  // wait that has to block logs a warning through the platform log.
  FutureResult<T> waitUntilCompleted() const;

  // Asks the producer to cancel: runs the handlers its Promise registered with
  // onRequestCancel. Nothing happens when there are none or the future is done.
  void requestCancel() const { state_->requestCancel(); }

 private:
  template <class>
  friend class Promise;
  explicit Future(std::shared_ptr<detail::FutureState<T>> state) : state_(std::move(state)) {}

  std::shared_ptr<detail::FutureState<T>> state_;
};

}  // namespace tessellon

#include "futures/Future-inl.h"
#include "futures/Promise.h"
