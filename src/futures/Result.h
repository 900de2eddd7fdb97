#pragma once

#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

#include "tessellon/Error.h"

#include "futures/ErrorException.h"

namespace tessellon {

// The outcome of a synchronous call that can fail: a value or an Error.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}      // NOLINT
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT

  bool ok() const { return state_.index() == 0; }
  // Preconditions: ok(); otherwise throws ErrorException.
  const T& value() const& {
    throwIfError();
    return std::get<0>(state_);
  }
  T&& value() && {
    throwIfError();
    return std::get<0>(std::move(state_));
  }
  // Preconditions: !ok().
  const Error& error() const { return std::get<1>(state_); }

 private:
  void throwIfError() const {
    if (!ok()) throw ErrorException(std::get<1>(state_));
  }
  std::variant<T, Error> state_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error)) {}  // NOLINT

  bool ok() const { return !error_.has_value(); }
  void value() const {
    if (error_) throw ErrorException(*error_);
  }
  const Error& error() const { return *error_; }

 private:
  std::optional<Error> error_;
};

}  // namespace tessellon
