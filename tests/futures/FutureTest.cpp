#include "futures/Future.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/AwaitResult.h"
#include "support/ErrorMatchers.h"
#include "support/ManualExecutor.h"

namespace tessellon {
namespace {

using ::testing::ElementsAre;
using ::testing::PrintToString;

Error sdkError(BackupSDKError code) {
  return Error{std::string(kBackupSDKErrorDomain), static_cast<int>(code), "from the test"};
}

template <class F>
std::optional<Error> thrownBy(F&& f) {
  try {
    f();
  } catch (const ErrorException& e) {
    return e.error();
  }
  return std::nullopt;
}

TEST(FutureTest, FirstCompletionWinsAndLaterOnesAreIgnored) {
  const std::vector<std::pair<std::string, std::function<void(const Promise<int>&)>>> completions =
      {
          {"success", [](auto& p) { p.completeWithSuccess(1); }},
          {"fail", [](auto& p) { p.completeWithFail(sdkError(BackupSDKError::isCanceling)); }},
          {"cancel", [](auto& p) { p.completeWithCancel(); }},
          {"complete(result)", [](auto& p) { p.complete(FutureResult<int>::success(2)); }},
          {"complete(completeUsing)",
           [](auto& p) { p.complete(Completion<int>::completeUsing(Future<int>::success(3))); }},
          {"completeUsingFuture", [](auto& p) { p.completeUsingFuture(Future<int>::cancelled()); }},
      };
  for (const auto& [firstName, first] : completions) {
    SCOPED_TRACE("first: " + firstName);
    Promise<int> promise;
    int runs = 0;
    promise.future.onComplete(Executor::immediate(), [&](const FutureResult<int>&) { ++runs; });
    first(promise);
    const std::string expected = PrintToString(promise.future.result());
    for (const auto& [secondName, second] : completions) {
      SCOPED_TRACE("then: " + secondName);
      second(promise);
      EXPECT_EQ(PrintToString(promise.future.result()), expected);
    }
    EXPECT_EQ(runs, 1);
  }
}

TEST(FutureTest, ImmediateContinuationsRunBeforeAttachingOrCompletingReturns) {
  // Even inside a continuation: code that completes a promise and then waits for
  // an immediate follow-up would block forever if the follow-up were deferred.
  std::vector<std::string> events;
  Promise<int> outer;
  outer.future.onSuccess(Executor::immediate(), [&](int) {
    Future<int>::success(1).onSuccess(Executor::immediate(),
                                      [&](int) { events.push_back("attached"); });
    Promise<int> inner;
    inner.future.onSuccess(Executor::immediate(), [&](int) { events.push_back("follow-up"); });
    inner.completeWithSuccess(1);
    events.push_back("complete returned");
  });
  outer.completeWithSuccess(0);
  EXPECT_THAT(events, ElementsAre("attached", "follow-up", "complete returned"));
}

TEST(FutureTest, EachHandlerRunsOnlyForItsOutcomeAndPassesOthersOn) {
  const struct {
    std::string name;
    Future<int> source;
    int successRuns, failRuns, cancelRuns;
  } rows[] = {
      {"success", Future<int>::success(7), 2, 0, 0},
      {"fail", Future<int>::fail(sdkError(BackupSDKError::fileIOFailedToReadFile)), 0, 1, 0},
      {"cancelled", Future<int>::cancelled(), 0, 0, 1},
  };
  const Executor now = Executor::immediate();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    int successRuns = 0, failRuns = 0, cancelRuns = 0;
    std::optional<Error> seen;
    const Future<std::string> afterSuccess =
        row.source.onSuccess(now, [&](int v) { return ++successRuns + v; })
            .onSuccess(now, [&](int) { return std::string(++successRuns, 'x'); });
    const Future<int> afterFail = row.source.onFail(now, [&](const Error& e) {
      ++failRuns;
      seen = e;
    });
    const Future<int> afterCancel = row.source.onCancel(now, [&] { ++cancelRuns; });
    EXPECT_EQ(successRuns, row.successRuns);
    EXPECT_EQ(failRuns, row.failRuns);
    EXPECT_EQ(cancelRuns, row.cancelRuns);
    if (failRuns) {
      EXPECT_THAT(seen, HasCode(BackupSDKError::fileIOFailedToReadFile));
    }
    if (!successRuns) {
      EXPECT_EQ(PrintToString(afterSuccess.result()), PrintToString(row.source.result()));
    }
    EXPECT_EQ(PrintToString(afterFail.result()), PrintToString(row.source.result()));
    EXPECT_EQ(PrintToString(afterCancel.result()), PrintToString(row.source.result()));
  }
}

TEST(FutureTest, OnSuccessFollowsWhatItsBlockReturns) {
  const auto one = Future<int>::success(1);
  const auto now = Executor::immediate();
  EXPECT_THAT(one.onSuccess(now, [](int v) { return std::to_string(v + 1); }), SucceedsWith("2"));
  EXPECT_THAT(
      one.onSuccess(
          now,
          [](int) { return Completion<int>::fail(sdkError(BackupSDKError::corruptMetaData)); }),
      FailsWith(BackupSDKError::corruptMetaData));
  EXPECT_THAT(one.onSuccess(now, [](int) { return FutureResult<int>::cancelled(); }),
              IsCancelled());
  EXPECT_THAT(one.onSuccess(now, [](int) {}), SucceedsWith(Void{}));
  EXPECT_THAT(Future<Void>::success({}).onSuccess(now, [] { return 3; }), SucceedsWith(3));

  Promise<double> later;
  const Future<double> followed = one.onSuccess(now, [&](int) { return later.future; });
  EXPECT_FALSE(followed.isCompleted());
  later.completeWithSuccess(2.5);
  EXPECT_THAT(followed, SucceedsWith(2.5));
}

TEST(FutureTest, ThrowingBlocksFailTheFutureTheyReturn) {
  const struct {
    std::string name;
    std::function<void()> thrower;
    Error expected;
  } rows[] = {
      {"ErrorException", [] { throw ErrorException(sdkError(BackupSDKError::isCanceling)); },
       sdkError(BackupSDKError::isCanceling)},
      {"std::exception", [] { throw std::runtime_error("disk on fire"); },
       makeError(FuturesError::genericError, "disk on fire")},
      {"anything else", [] { throw 42; },
       makeError(FuturesError::genericError, "unknown exception")},
  };
  auto manual = ManualExecutor::make();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto block = [&](int v) {
      row.thrower();
      return v;
    };
    const Future<int> inlined = Future<int>::success(1).onSuccess(Executor::immediate(), block);
    const Future<int> dispatched = Future<int>::success(1).onSuccess(manual->executor(), block);
    manual->drain();
    EXPECT_EQ(PrintToString(inlined.error()), PrintToString(std::optional(row.expected)));
    EXPECT_EQ(PrintToString(dispatched.error()), PrintToString(std::optional(row.expected)));
  }
  EXPECT_EQ(PrintToString(Future<int>::failWithErrorMessage("disk on fire").error()),
            PrintToString(std::optional(rows[1].expected)));
}

TEST(FutureTest, TryValueAndThrowIfFailRaiseTheRightErrors) {
  const Error failure = sdkError(BackupSDKError::delegateFileDownloadFailed);
  const Error canceled = makeError(FuturesError::genericError, "Future was canceled.");
  const Error notCompleted = makeError(FuturesError::genericError, "Future was not completed.");
  const struct {
    std::string name;
    Completion<int> completion;
    std::optional<Error> tryValue, throwIfFail, throwIfFailOrCancel;
  } rows[] = {
      {"success", Completion<int>::success(5), std::nullopt, std::nullopt, std::nullopt},
      {"fail", Completion<int>::fail(failure), failure, failure, failure},
      {"cancelled", Completion<int>::cancelled(), canceled, std::nullopt, canceled},
      {"completeUsing", Future<int>::success(5), notCompleted, std::nullopt, std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto result = row.completion.result();
    EXPECT_EQ(result.has_value(), !row.completion.isCompleteUsing());
    auto check = [&row](const auto& c) {
      EXPECT_EQ(PrintToString(thrownBy([&] { EXPECT_EQ(c.tryValue(), 5); })),
                PrintToString(row.tryValue));
      EXPECT_EQ(PrintToString(thrownBy([&] { c.throwIfFail(); })), PrintToString(row.throwIfFail));
      EXPECT_EQ(PrintToString(thrownBy([&] { c.throwIfFailOrCancel(); })),
                PrintToString(row.throwIfFailOrCancel));
    };
    check(row.completion);
    if (result) check(*result);
  }
}

TEST(FutureTest, CompleteUsingFollowsTheOtherFutureWheneverItCompletes) {
  Promise<int> other;
  const Future<int> follower = Future<int>::completeUsing(other.future);
  Promise<int> viaCompletion;
  viaCompletion.complete(Completion<int>::completeUsing(follower));
  EXPECT_FALSE(viaCompletion.future.isCompleted());
  other.completeWithFail(sdkError(BackupSDKError::versionConflict));
  EXPECT_THAT(follower, FailsWith(BackupSDKError::versionConflict));
  EXPECT_THAT(viaCompletion.future, FailsWith(BackupSDKError::versionConflict));

  Promise<int> late;
  late.completeUsingFuture(Future<int>::success(8));
  EXPECT_THAT(late.future, SucceedsWith(8));
}

TEST(FutureTest, CancelRequestsReachOnlyRegisteredPendingPromises) {
  Promise<int> automatic, unregistered, alreadyDone;
  automatic.automaticallyCancelOnRequestCancel();
  automatic.future.requestCancel();
  EXPECT_THAT(automatic.future, IsCancelled());
  unregistered.future.requestCancel();
  EXPECT_FALSE(unregistered.future.isCompleted());
  alreadyDone.automaticallyCancelOnRequestCancel();
  alreadyDone.completeWithSuccess(1);
  alreadyDone.future.requestCancel();
  EXPECT_THAT(alreadyDone.future, SucceedsWith(1));

  // A handler may answer "go on" (nothing) or complete the future itself.
  Promise<int> custom;
  int asked = 0;
  custom.onRequestCancel([&]() -> std::optional<Completion<int>> {
    return ++asked == 1 ? std::nullopt : std::optional(Completion<int>::success(9));
  });
  custom.future.requestCancel();
  EXPECT_FALSE(custom.future.isCompleted());
  custom.future.requestCancel();
  custom.future.requestCancel();
  EXPECT_THAT(custom.future, SucceedsWith(9));
  EXPECT_EQ(asked, 2);
}

TEST(FutureTest, OnlyPlatformCancellationErrorsCountAsCancellation) {
  const struct {
    std::string domain;
    int code;
    bool cancellation;
  } rows[] = {
      {"NSURLErrorDomain", -999, true},    {"NSURLErrorDomain", -1012, true},
      {"NSURLErrorDomain", -1001, false},  {"NSCocoaErrorDomain", 3072, true},
      {"NSCocoaErrorDomain", 3071, false}, {"NSPOSIXErrorDomain", -999, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.domain + " " + std::to_string(row.code));
    EXPECT_EQ(testForCancellation(Error{row.domain, row.code, ""}), row.cancellation);
  }
}

}  // namespace
}  // namespace tessellon
