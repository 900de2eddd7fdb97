#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include <gmock/gmock.h>

#include "tessellon/BackupSDKError.h"
#include "tessellon/Error.h"

#include "futures/Future.h"
#include "futures/FuturesError.h"

// Matchers that name the exact outcome a test expects. The outcome matchers
// accept a FutureResult<T>, a std::optional<FutureResult<T>> (empty: the wait
// timed out) or a Future<T> (its current snapshot):
//   EXPECT_THAT(awaitResult(f), FailsWith(BackupSDKError::isCanceling));
//   EXPECT_THAT(f.result(), SucceedsWith(42));
//   EXPECT_THAT(f, IsCancelled());
// HasCode accepts an Error or a std::optional<Error>.
//
// Codes are compared by domain and integer value, so only the enumeration
// headers are needed, not the code that builds errors.

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

struct ExpectedCode {
  std::string domain;
  int code;
};
inline ExpectedCode expectedCode(BackupSDKError error) {
  return {std::string(kBackupSDKErrorDomain), static_cast<int>(error)};
}
inline ExpectedCode expectedCode(FuturesError error) {
  return {kFuturesErrorDomain, static_cast<int>(error)};
}
inline bool hasCode(const Error& error, const ExpectedCode& expected) {
  return error.domain == expected.domain && error.code == expected.code;
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

template <class T>
void explainOutcome(const std::optional<FutureResult<T>>& outcome,
                    ::testing::MatchResultListener* listener) {
  if (!outcome) {
    *listener << "which has no result (still pending, or the wait timed out)";
  } else {
    *listener << "which is " << ::testing::PrintToString(*outcome);
  }
}

class FailsWithMatcher {
 public:
  explicit FailsWithMatcher(ExpectedCode expected) : expected_(std::move(expected)) {}

  template <class Arg>
  bool MatchAndExplain(const Arg& arg, ::testing::MatchResultListener* listener) const {
    const auto outcome = outcomeOf(arg);
    explainOutcome(outcome, listener);
    return outcome && outcome->isFail() && hasCode(outcome->failure(), expected_);
  }
  void DescribeTo(std::ostream* os) const {
    *os << "fails with " << expected_.domain << " " << expected_.code;
  }
  void DescribeNegationTo(std::ostream* os) const {
    *os << "does not fail with " << expected_.domain << " " << expected_.code;
  }

 private:
  ExpectedCode expected_;
};

class IsCancelledMatcher {
 public:
  template <class Arg>
  bool MatchAndExplain(const Arg& arg, ::testing::MatchResultListener* listener) const {
    const auto outcome = outcomeOf(arg);
    explainOutcome(outcome, listener);
    return outcome && outcome->isCancelled();
  }
  void DescribeTo(std::ostream* os) const { *os << "is cancelled"; }
  void DescribeNegationTo(std::ostream* os) const { *os << "is not cancelled"; }
};

template <class M>
class SucceedsWithMatcher {
 public:
  explicit SucceedsWithMatcher(M inner) : inner_(std::move(inner)) {}

  template <class Arg>
  operator ::testing::Matcher<Arg>() const {  // NOLINT: converts like gmock's own matchers
    return ::testing::Matcher<Arg>(new Impl<const Arg&>(inner_));
  }

 private:
  template <class Arg>
  class Impl : public ::testing::MatcherInterface<Arg> {
    using Outcome = decltype(outcomeOf(std::declval<Arg>()));
    using Value = typename Outcome::value_type::ValueType;

   public:
    explicit Impl(const M& inner) : inner_(::testing::SafeMatcherCast<const Value&>(inner)) {}

    void DescribeTo(std::ostream* os) const override {
      *os << "succeeds with a value that ";
      inner_.DescribeTo(os);
    }
    void DescribeNegationTo(std::ostream* os) const override {
      *os << "does not succeed with a value that ";
      inner_.DescribeTo(os);
    }
    bool MatchAndExplain(Arg arg, ::testing::MatchResultListener* listener) const override {
      const auto outcome = outcomeOf(arg);
      explainOutcome(outcome, listener);
      if (!outcome || !outcome->isSuccess()) return false;
      ::testing::StringMatchResultListener innerListener;
      const bool matched = inner_.MatchAndExplain(outcome->successValue(), &innerListener);
      if (!innerListener.str().empty()) *listener << ", " << innerListener.str();
      return matched;
    }

   private:
    const ::testing::Matcher<const Value&> inner_;
  };

  M inner_;
};

class HasCodeMatcher {
 public:
  explicit HasCodeMatcher(ExpectedCode expected) : expected_(std::move(expected)) {}

  bool MatchAndExplain(const Error& error, ::testing::MatchResultListener* listener) const {
    *listener << "which is " << describe(error);
    return hasCode(error, expected_);
  }
  bool MatchAndExplain(const std::optional<Error>& error,
                       ::testing::MatchResultListener* listener) const {
    if (!error) {
      *listener << "which is no error";
      return false;
    }
    return MatchAndExplain(*error, listener);
  }
  void DescribeTo(std::ostream* os) const {
    *os << "is the error " << expected_.domain << " " << expected_.code;
  }
  void DescribeNegationTo(std::ostream* os) const {
    *os << "is not the error " << expected_.domain << " " << expected_.code;
  }

 private:
  ExpectedCode expected_;
};

}  // namespace detail

inline ::testing::PolymorphicMatcher<detail::FailsWithMatcher> FailsWith(BackupSDKError code) {
  return ::testing::MakePolymorphicMatcher(detail::FailsWithMatcher(detail::expectedCode(code)));
}
inline ::testing::PolymorphicMatcher<detail::FailsWithMatcher> FailsWith(FuturesError code) {
  return ::testing::MakePolymorphicMatcher(detail::FailsWithMatcher(detail::expectedCode(code)));
}

inline ::testing::PolymorphicMatcher<detail::IsCancelledMatcher> IsCancelled() {
  return ::testing::MakePolymorphicMatcher(detail::IsCancelledMatcher());
}

// `inner` is a matcher or a value for the success value.
template <class M>
detail::SucceedsWithMatcher<M> SucceedsWith(M inner) {
  return detail::SucceedsWithMatcher<M>(std::move(inner));
}

inline ::testing::PolymorphicMatcher<detail::HasCodeMatcher> HasCode(BackupSDKError code) {
  return ::testing::MakePolymorphicMatcher(detail::HasCodeMatcher(detail::expectedCode(code)));
}
inline ::testing::PolymorphicMatcher<detail::HasCodeMatcher> HasCode(FuturesError code) {
  return ::testing::MakePolymorphicMatcher(detail::HasCodeMatcher(detail::expectedCode(code)));
}

}  // namespace tessellon
