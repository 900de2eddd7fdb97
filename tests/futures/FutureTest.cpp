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
using ::testing::Field;
using ::testing::Optional;
using ::testing::PrintToString;

Error sdkError(BackupSDKError code) {
  return Error{std::string(kBackupSDKErrorDomain), static_cast<int>(code), "from the test"};
}

// The error that `f` throws as an ErrorException, if any.
template <class F>
std::optional<Error> thrownBy(F&& f) {
  try {
    f();
  } catch (const ErrorException& e) {
    return e.error();
  }
  return std::nullopt;
}

class FutureTest : public ::testing::Test {
 protected:
  std::shared_ptr<ManualExecutor> manual_ = ManualExecutor::make();
};

TEST_F(FutureTest, FirstCompletionWinsAndLaterOnesAreIgnored) {
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

TEST_F(FutureTest, ImmediateContinuationOfACompletedFutureRunsBeforeAttachingReturns) {
  bool ran = false;
  Future<int>::success(1).onComplete(Executor::immediate(),
                                     [&](const FutureResult<int>&) { ran = true; });
  EXPECT_TRUE(ran);
}

TEST_F(FutureTest, ImmediateContinuationsRunBeforeCompletingReturnsEvenInsideAContinuation) {
  // Code that completes a promise and then waits for an immediate follow-up
  // would block forever if the follow-up were deferred past its own callback.
  std::vector<std::string> events;
  Promise<int> outer;
  outer.future.onSuccess(Executor::immediate(), [&](int) {
    Promise<int> inner;
    inner.future.onSuccess(Executor::immediate(), [&](int) { events.push_back("follow-up ran"); });
    inner.completeWithSuccess(1);
    events.push_back("complete returned");
  });
  outer.completeWithSuccess(0);
  EXPECT_THAT(events, ElementsAre("follow-up ran", "complete returned"));
}

TEST_F(FutureTest, PendingContinuationsRunOnceEachInAttachOrderOnTheirExecutor) {
  Promise<int> promise;
  std::vector<int> order;
  for (int i = 1; i <= 3; ++i) {
    promise.future.onSuccess(manual_->executor(), [&order, i](int) { order.push_back(i); });
  }
  promise.completeWithSuccess(0);
  EXPECT_TRUE(order.empty());
  EXPECT_EQ(manual_->drain(), 3U);
  EXPECT_THAT(order, ElementsAre(1, 2, 3));
}

TEST_F(FutureTest, FailureAndCancellationSkipEveryOnSuccessBlock) {
  const std::pair<std::string, Future<int>> sources[] = {
      {"fail", Future<int>::fail(sdkError(BackupSDKError::zipAppendFailed))},
      {"cancelled", Future<int>::cancelled()},
  };
  for (const auto& [name, source] : sources) {
    SCOPED_TRACE(name);
    int runs = 0;
    Future<std::string> last =
        source.onSuccess(Executor::immediate(), [&](int v) { return ++runs + v; })
            .onSuccess(Executor::immediate(), [&](int) { return std::string(++runs, 'x'); });
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(PrintToString(last.result()), PrintToString(source.result()));
  }
}

TEST_F(FutureTest, OnSuccessFollowsWhatItsBlockReturns) {
  const auto one = Future<int>::success(1);
  const auto immediate = Executor::immediate();

  EXPECT_THAT(one.onSuccess(immediate, [](int v) { return std::to_string(v + 1); }),
              SucceedsWith("2"));
  EXPECT_THAT(
      one.onSuccess(
          immediate,
          [](int) { return Completion<int>::fail(sdkError(BackupSDKError::corruptMetaData)); }),
      FailsWith(BackupSDKError::corruptMetaData));
  EXPECT_THAT(one.onSuccess(immediate, [](int) { return FutureResult<int>::cancelled(); }),
              IsCancelled());
  EXPECT_THAT(one.onSuccess(immediate, [](int) {}), SucceedsWith(Void{}));

  Promise<double> later;
  Future<double> followed = one.onSuccess(immediate, [&](int) { return later.future; });
  EXPECT_FALSE(followed.isCompleted());
  later.completeWithSuccess(2.5);
  EXPECT_THAT(followed, SucceedsWith(2.5));

  // A Void future's block may take no argument.
  EXPECT_THAT(Future<Void>::success({}).onSuccess(immediate, [] { return 3; }), SucceedsWith(3));
}

TEST_F(FutureTest, OnFailAndOnCancelRunOnlyForTheirOutcomeAndPassTheResultOn) {
  const Error failure = sdkError(BackupSDKError::fileIOFailedToReadFile);
  const struct {
    std::string name;
    Future<int> source;
    int expectedFailRuns;
    int expectedCancelRuns;
  } rows[] = {
      {"success", Future<int>::success(7), 0, 0},
      {"fail", Future<int>::fail(failure), 1, 0},
      {"cancelled", Future<int>::cancelled(), 0, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    int failRuns = 0;
    int cancelRuns = 0;
    std::optional<Error> seen;
    Future<int> afterFail = row.source.onFail(Executor::immediate(), [&](const Error& e) {
      ++failRuns;
      seen = e;
    });
    Future<int> afterCancel = row.source.onCancel(Executor::immediate(), [&] { ++cancelRuns; });
    EXPECT_EQ(failRuns, row.expectedFailRuns);
    EXPECT_EQ(cancelRuns, row.expectedCancelRuns);
    if (failRuns) {
      EXPECT_THAT(seen, HasCode(BackupSDKError::fileIOFailedToReadFile));
    }
    EXPECT_EQ(PrintToString(afterFail.result()), PrintToString(row.source.result()));
    EXPECT_EQ(PrintToString(afterCancel.result()), PrintToString(row.source.result()));
  }
}

TEST_F(FutureTest, ThrowingBlocksFailTheFutureTheyReturn) {
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
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto block = [&](int v) {
      row.thrower();
      return v;
    };
    const Future<int> inlined = Future<int>::success(1).onSuccess(Executor::immediate(), block);
    const Future<int> dispatched = Future<int>::success(1).onSuccess(manual_->executor(), block);
    manual_->drain();
    EXPECT_EQ(PrintToString(inlined.error()), PrintToString(std::optional(row.expected)));
    EXPECT_EQ(PrintToString(dispatched.error()), PrintToString(std::optional(row.expected)));
  }
}

TEST_F(FutureTest, TryValueAndThrowIfFailRaiseTheRightErrors) {
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
    const Completion<int>& c = row.completion;
    const auto result = c.result();
    EXPECT_EQ(result.has_value(), !c.isCompleteUsing());
    auto check = [&row](const auto& completionType) {
      EXPECT_EQ(PrintToString(thrownBy([&] { EXPECT_EQ(completionType.tryValue(), 5); })),
                PrintToString(row.tryValue));
      EXPECT_EQ(PrintToString(thrownBy([&] { completionType.throwIfFail(); })),
                PrintToString(row.throwIfFail));
      EXPECT_EQ(PrintToString(thrownBy([&] { completionType.throwIfFailOrCancel(); })),
                PrintToString(row.throwIfFailOrCancel));
    };
    check(c);
    if (result) check(*result);
  }
}

TEST_F(FutureTest, CompleteUsingFollowsTheOtherFutureWheneverItCompletes) {
  Promise<int> other;
  const Future<int> follower = Future<int>::completeUsing(other.future);
  Promise<int> viaCompletion;
  viaCompletion.complete(Completion<int>::completeUsing(follower));
  EXPECT_FALSE(follower.isCompleted());
  EXPECT_FALSE(viaCompletion.future.isCompleted());

  other.completeWithFail(sdkError(BackupSDKError::versionConflict));
  EXPECT_THAT(follower, FailsWith(BackupSDKError::versionConflict));
  EXPECT_THAT(viaCompletion.future, FailsWith(BackupSDKError::versionConflict));

  // An other future that is already complete completes the follower at once.
  Promise<int> late;
  late.completeUsingFuture(Future<int>::success(8));
  EXPECT_THAT(late.future, SucceedsWith(8));
}

TEST_F(FutureTest, FailWithErrorMessageFailsWithGenericError) {
  EXPECT_THAT(
      Future<int>::failWithErrorMessage("no route").error(),
      Optional(AllOf(HasCode(FuturesError::genericError), Field(&Error::message, "no route"))));
}

TEST_F(FutureTest, CancelRequestsReachOnlyRegisteredPendingPromises) {
  Promise<int> automatic;
  automatic.automaticallyCancelOnRequestCancel();
  automatic.future.requestCancel();
  EXPECT_THAT(automatic.future, IsCancelled());

  Promise<int> unregistered;
  unregistered.future.requestCancel();
  EXPECT_FALSE(unregistered.future.isCompleted());

  Promise<int> alreadyDone;
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
  EXPECT_THAT(custom.future, SucceedsWith(9));
  custom.future.requestCancel();
  EXPECT_EQ(asked, 2);
}

TEST_F(FutureTest, OnlyPlatformCancellationErrorsCountAsCancellation) {
  const struct {
    std::string domain;
    int code;
    bool cancellation;
  } rows[] = {
      {"NSURLErrorDomain", -999, true},
      {"NSURLErrorDomain", -1012, true},
      {"NSURLErrorDomain", -1001, false},
      {"NSCocoaErrorDomain", 3072, true},
      {"NSCocoaErrorDomain", 3071, false},
      {"NSPOSIXErrorDomain", -999, false},
      {std::string(kBackupSDKErrorDomain), 104, false},
      {kFuturesErrorDomain, 0, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.domain + " " + std::to_string(row.code));
    EXPECT_EQ(testForCancellation(Error{row.domain, row.code, ""}), row.cancellation);
  }
}

}  // namespace
}  // namespace tessellon
