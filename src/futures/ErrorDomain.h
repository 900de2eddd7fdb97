#pragma once

#include <concepts>
#include <string>
#include <string_view>
#include <utility>

#include "tessellon/Error.h"

namespace tessellon {

// An enumeration of failure cases whose header names its domain with a
// one-line `errorDomain(Enum)`; an Error of that domain carries the case's
// value as its code.
template <class Enum>
concept ErrorCases = requires(Enum code) {
  { errorDomain(code) } -> std::convertible_to<std::string_view>;
};

// True when `error` is exactly this case of its domain.
template <ErrorCases Enum>
bool isError(const Error& error, Enum code) {
  return error.domain == errorDomain(code) && error.code == static_cast<int>(code);
}

// Error cases that also name themselves with `caseName(Enum)`.
template <class Enum>
concept NamedErrorCases = ErrorCases<Enum> && requires(Enum code) {
  caseName(code);
};

// An Error of the case's domain; the message is the case name, followed by
// "(payload)" when a payload is given.
template <NamedErrorCases Enum>
Error makeError(Enum code, std::string_view payload = {}) {
  std::string message(caseName(code));
  if (!payload.empty()) message.append("(").append(payload).append(")");
  return Error{std::string(errorDomain(code)), static_cast<int>(code), std::move(message)};
}

}  // namespace tessellon
