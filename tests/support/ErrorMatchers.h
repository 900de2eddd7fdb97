#pragma once

#include <optional>
#include <ostream>
#include <string>

#include <gmock/gmock.h>

#include "tessellon/BackupSDKError.h"
#include "tessellon/Error.h"

#include "futures/Future.h"
#include "futures/FuturesError.h"

// Outcome matchers take a FutureResult<T>, a std::optional of one (empty: the wait timed out) or a
// Future<T>; HasCode takes an Error or a std::optional<Error>.

namespace tessellon {

inline void PrintTo(const Error& error, std::ostream* os) { *os << describe(error); }
inline void PrintTo(Void, std::ostream* os) { *os << "Void"; }
template <class T>
void PrintTo(const FutureResult<T>& result, std::ostream* os) {
  if (result.isSuccess()) {
    *os << "success(" << ::testing::PrintToString(result.successValue()) << ")";
  } else if (result.isFail()) {
    *os << "fail(" << describe(result.failure()) << ")";
  } else {
    *os << "cancelled";
  }
}

namespace detail {

inline bool hasCode(const Error& error, BackupSDKError code) {
  return error.domain == kBackupSDKErrorDomain && error.code == static_cast<int>(code);
}
inline bool hasCode(const Error& error, FuturesError code) {
  return error.domain == kFuturesErrorDomain && error.code == static_cast<int>(code);
}
inline std::string codeText(BackupSDKError code) {
  return std::string(kBackupSDKErrorDomain) + " " + std::to_string(static_cast<int>(code));
}
inline std::string codeText(FuturesError code) {
  return std::string(kFuturesErrorDomain) + " " + std::to_string(static_cast<int>(code));
}

template <class T>
std::optional<FutureResult<T>> outcomeOf(const FutureResult<T>& result) {
  return result;
}
template <class T>
std::optional<FutureResult<T>> outcomeOf(const std::optional<FutureResult<T>>& result) {
  return result;
}
template <class T>
std::optional<FutureResult<T>> outcomeOf(const Future<T>& future) {
  return future.result();
}
template <class Arg>
auto explainedOutcome(const Arg& arg, ::testing::MatchResultListener* listener) {
  auto outcome = outcomeOf(arg);
  if (!outcome) {
    *listener << "which has no result (still pending, or the wait timed out)";
  } else {
    *listener << "which is " << ::testing::PrintToString(*outcome);
  }
  return outcome;
}

inline std::optional<Error> errorOf(const Error& error) { return error; }
inline std::optional<Error> errorOf(const std::optional<Error>& error) { return error; }

}  // namespace detail

MATCHER_P(FailsWith, code,
          (negation ? "does not fail with " : "fails with ") + detail::codeText(code)) {
  const auto outcome = detail::explainedOutcome(arg, result_listener);
  return outcome && outcome->isFail() && detail::hasCode(outcome->failure(), code);
}

MATCHER(IsCancelled, negation ? "is not cancelled" : "is cancelled") {
  const auto outcome = detail::explainedOutcome(arg, result_listener);
  return outcome && outcome->isCancelled();
}

// `inner` is a matcher or a value for the success value.
MATCHER_P(SucceedsWith, inner,
          negation ? "does not succeed with a matching value" : "succeeds with a matching value") {
  const auto outcome = detail::explainedOutcome(arg, result_listener);
  if (!outcome || !outcome->isSuccess()) return false;
  ::testing::StringMatchResultListener value;
  const bool matched = ::testing::ExplainMatchResult(inner, outcome->successValue(), &value);
  if (!value.str().empty()) *result_listener << ", " << value.str();
  return matched;
}

MATCHER_P(HasCode, code,
          (negation ? "is not the error " : "is the error ") + detail::codeText(code)) {
  const std::optional<Error> error = detail::errorOf(arg);
  *result_listener << "which is " << (error ? describe(*error) : "no error");
  return error && detail::hasCode(*error, code);
}

}  // namespace tessellon
