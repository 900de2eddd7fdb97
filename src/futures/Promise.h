#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "futures/Future.h"

namespace tessellon {

// The producer side of one future. Copies complete the same future; the first
// completion wins and later ones are ignored without error. Callbacks of the
// future run after the completing call has released the future's lock, on the
// executors their continuations name.
template <class T>
class Promise {
 public:
  Promise() : future(std::make_shared<detail::FutureState<T>>()) {}

  Future<T> future;

  void completeWithSuccess(T value) const {
    State::complete(future.state_, FutureResult<T>::success(std::move(value)));
  }
  void completeWithFail(Error error) const {
    State::complete(future.state_, FutureResult<T>::fail(std::move(error)));
  }
  void completeWithCancel() const { State::complete(future.state_, FutureResult<T>::cancelled()); }
  void complete(FutureResult<T> result) const { State::complete(future.state_, std::move(result)); }
  void complete(Completion<T> completion) const {
    if (completion.isCompleteUsing()) {
      completeUsingFuture(completion.other());
    } else {
      State::complete(future.state_, *std::move(completion).takeResult());
    }
  }
  // Completes with `other`'s result once `other` completes.
  void completeUsingFuture(const Future<T>& other) const {
    other.state_->addCallback([state = future.state_](const typename State::SharedResult& result) {
      State::complete(state, result);
    });
  }

  // A cancellation request on the future calls `handler`; a completion it
  // returns completes the future, nothing lets the producer go on.
  void onRequestCancel(std::function<std::optional<Completion<T>>()> handler) const {
    // Weak: the handler lives in the state it completes.
    future.state_->addCancelRequestHandler(
        [weak = std::weak_ptr<State>(future.state_), handler = std::move(handler)] {
          auto state = weak.lock();
          if (!state) return;
          if (auto completion = handler())
            Promise(Future<T>(state)).complete(std::move(*completion));
        });
  }
  // A cancellation request on the future completes it as cancelled.
  void automaticallyCancelOnRequestCancel() const {
    onRequestCancel([] { return std::optional<Completion<T>>(Completion<T>::cancelled()); });
  }

 private:
  using State = detail::FutureState<T>;
  explicit Promise(Future<T> existing) : future(std::move(existing)) {}
};

}  // namespace tessellon
