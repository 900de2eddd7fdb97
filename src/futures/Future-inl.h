#pragma once

#include <condition_variable>
#include <exception>
#include <mutex>

#include "futures/CurrentExecutor.h"
#include "futures/PlatformLog.h"

namespace tessellon {

namespace detail {

// Runs a continuation block and completes `promise` with what it returns or
// throws.
template <class U, class Thunk>
void runBlock(const Promise<U>& promise, Thunk&& thunk) {
  using R = std::invoke_result_t<Thunk&>;
  try {
    if constexpr (std::is_void_v<R>) {
      thunk();
      promise.completeWithSuccess(Void{});
    } else if constexpr (kIsCompletionType<R>) {
      promise.complete(Completion<U>(thunk()));
    } else {
      promise.completeWithSuccess(thunk());
    }
  } catch (...) {
    promise.completeWithFail(errorFromException(std::current_exception()));
  }
}

template <class F, class T>
decltype(auto) callWithValue(F& block, const T& value) {
  if constexpr (std::is_invocable_v<F&, const T&>) {
    return block(value);
  } else {
    static_assert(std::is_same_v<T, Void> && std::is_invocable_v<F&>,
                  "an onSuccess block takes the future's value");
    return block();
  }
}

template <class F, class T>
using SuccessBlockResult = decltype(callWithValue(std::declval<F&>(), std::declval<const T&>()));

}  // namespace detail

template <class T>
Future<T> Future<T>::success(T value) {
  Promise<T> promise;
  promise.completeWithSuccess(std::move(value));
  return promise.future;
}

template <class T>
Future<T> Future<T>::fail(Error error) {
  Promise<T> promise;
  promise.completeWithFail(std::move(error));
  return promise.future;
}

template <class T>
Future<T> Future<T>::failWithErrorMessage(std::string message) {
  return fail(makeError(FuturesError::genericError, std::move(message)));
}

template <class T>
Future<T> Future<T>::cancelled() {
  Promise<T> promise;
  promise.completeWithCancel();
  return promise.future;
}

template <class T>
Future<T> Future<T>::completeUsing(Completion<T> completion) {
  Promise<T> promise;
  promise.complete(std::move(completion));
  return promise.future;
}

template <class T>
std::optional<T> Future<T>::value() const {
  auto snapshot = result();
  return snapshot ? snapshot->value() : std::nullopt;
}

template <class T>
std::optional<Error> Future<T>::error() const {
  auto snapshot = result();
  return snapshot ? snapshot->error() : std::nullopt;
}

template <class T>
template <class F>
auto Future<T>::onComplete(const Executor& executor, F&& block) const {
  using R = std::invoke_result_t<std::decay_t<F>&, const FutureResult<T>&>;
  static_assert(std::is_void_v<R> || detail::kIsCompletionType<R>,
                "an onComplete block returns a Completion, a FutureResult, a Future or nothing");
  using U = typename detail::ContinuationValue<R>::type;
  Promise<U> promise;
  state_->addCallback([promise, executor, block = std::forward<F>(block)](
                          const typename detail::FutureState<T>::SharedResult& result) mutable {
    const Executor resolved = executor.resolve();
    if (resolved.kind() == Executor::Kind::immediate) {
      detail::runBlock(promise, [&] { return block(*result); });
      return;
    }
    resolved.execute([promise, block = std::move(block), result]() mutable {
      detail::runBlock(promise, [&] { return block(*result); });
    });
  });
  return promise.future;
}

template <class T>
template <class F>
auto Future<T>::onSuccess(const Executor& executor, F&& block) const {
  using R = detail::SuccessBlockResult<std::decay_t<F>, T>;
  using U = typename detail::ContinuationValue<std::decay_t<R>>::type;
  return onComplete(
      executor,
      [block = std::forward<F>(block)](const FutureResult<T>& result) mutable -> Completion<U> {
        if (result.isFail()) return Completion<U>::fail(result.failure());
        if (result.isCancelled()) return Completion<U>::cancelled();
        if constexpr (std::is_void_v<R>) {
          detail::callWithValue(block, result.successValue());
          return Completion<U>::success(Void{});
        } else if constexpr (detail::kIsCompletionType<std::decay_t<R>>) {
          return Completion<U>(detail::callWithValue(block, result.successValue()));
        } else {
          return Completion<U>::success(detail::callWithValue(block, result.successValue()));
        }
      });
}

template <class T>
template <class F>
Future<T> Future<T>::onFail(const Executor& executor, F&& block) const {
  return onComplete(
      executor,
      [block = std::forward<F>(block)](const FutureResult<T>& result) mutable -> FutureResult<T> {
        if (result.isFail()) block(result.failure());
        return result;
      });
}

template <class T>
template <class F>
Future<T> Future<T>::onCancel(const Executor& executor, F&& block) const {
  return onComplete(
      executor,
      [block = std::forward<F>(block)](const FutureResult<T>& result) mutable -> FutureResult<T> {
        if (result.isCancelled()) block();
        return result;
      });
}

template <class T>
FutureResult<T> Future<T>::waitUntilCompleted() const {
  struct Waiter {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<FutureResult<T>> result;
  };
  auto waiter = std::make_shared<Waiter>();
  // Delivered inline rather than through an executor: a wait must not depend
  // on a queue that the waiting thread (or a saturated pool) would have to run.
  state_->addCallback(
      [waiter](const typename detail::FutureState<T>::SharedResult& result) {
        std::lock_guard lock(waiter->mutex);
        waiter->result = *result;
        waiter->done.notify_all();
      },
      /*inlineAlways=*/true);
  std::unique_lock lock(waiter->mutex);
  if (!waiter->result && CurrentExecutor::isMainThread()) {
    platformLog(
        "Warning: A long-running Future wait operation is being executed on the main thread. \\n "
        "Break on Futures.warnOperationOnMainThread() to debug.");
  }
  waiter->done.wait(lock, [&] { return waiter->result.has_value(); });
  return *waiter->result;
}

}  // namespace tessellon
