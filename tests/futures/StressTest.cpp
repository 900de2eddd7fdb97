#include <atomic>
#include <chrono>
#include <latch>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "futures/CurrentExecutor.h"
#include "futures/Future.h"
#include "support/AwaitResult.h"
#include "support/ErrorMatchers.h"

namespace tessellon {
namespace {

#if defined(__SANITIZE_THREAD__)
#define TESSELLON_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TESSELLON_TSAN 1
#endif
#endif

// A million links is the guarantee; ThreadSanitizer is too slow for it, and a
// shorter chain still shows recursion there (its frames are larger).
#ifdef TESSELLON_TSAN
constexpr int kLinks = 100'000;
#else
constexpr int kLinks = 1'000'000;
#endif
constexpr std::chrono::seconds kLongWait(120);

Future<int> addOneChain(Future<int> start, int links) {
  for (int i = 0; i < links; ++i) start = start.onSuccess([](int v) { return v + 1; });
  return start;
}

Future<int> nestedCompleteUsing(Future<int> innermost, int links) {
  for (int i = 0; i < links; ++i) {
    Promise<int> link;
    link.completeUsingFuture(innermost);
    innermost = link.future;
  }
  return innermost;
}

TEST(StressTest, MillionStepChainsFinishWithoutOverflow) {
  // Off the main thread each primary step is a pool item, as in the library's
  // own pipelines; on the main thread the steps run inline.
  ASSERT_TRUE(CurrentExecutor::isMainThread());
  for (const bool onMain : {false, true}) {
    SCOPED_TRACE(onMain ? "main thread" : "other thread");
    Promise<int> promise;
    std::optional<Future<int>> last;
    auto build = [&] {
      last = addOneChain(promise.future, kLinks);
      promise.completeWithSuccess(0);
    };
    onMain ? build() : std::thread(build).join();
    EXPECT_THAT(onMain ? last->result() : awaitResult(*last, kLongWait), SucceedsWith(kLinks));
  }
  Promise<int> innermost;
  const Future<int> outer = nestedCompleteUsing(innermost.future, kLinks);
  innermost.completeWithSuccess(5);
  EXPECT_THAT(outer.result(), SucceedsWith(5));
}

// Each step attaches to a future that is already complete and returns the next
// step: a loop written as recursion, as pipelines that walk a list are.
Future<int> countDown(int left) {
  return Future<int>::success(left).onComplete(
      Executor::immediate(), [](const FutureResult<int>& result) -> Future<int> {
        const int now = *result.value();
        return now == 0 ? Future<int>::success(0) : countDown(now - 1);
      });
}

TEST(StressTest, StepsOverCompletedFuturesDoNotNestOncePerStep) {
  EXPECT_THAT(countDown(kLinks).result(), SucceedsWith(0));
}

TEST(StressTest, DroppingUncompletedMillionLinkChainsReleasesEveryLink) {
  auto canary = std::make_shared<int>(0);
  {
    Promise<int> promise;
    Future<int> last = promise.future;
    for (int i = 0; i < kLinks; ++i) {
      last = last.onSuccess(Executor::immediate(), [canary](int v) { return v + 1; });
    }
    Promise<int> innermost;
    nestedCompleteUsing(innermost.future, kLinks).onSuccess(Executor::immediate(), [canary](int) {
    });
  }
  EXPECT_EQ(canary.use_count(), 1);
}

TEST(StressTest, CallbacksRunOutsideTheFutureLock) {
  Promise<int> promise;
  const Future<int> future = promise.future;
  // Each of these takes the future's own (non-recursive) lock again.
  const Future<std::string> seen =
      future.onComplete(Executor::immediate(), [promise, future](const FutureResult<int>&) {
        promise.completeWithFail(makeError(FuturesError::genericError, "second"));
        promise.completeWithCancel();
        future.onSuccess(Executor::immediate(), [](int) {});
        const std::string read = std::to_string(future.isCompleted()) + " " +
                                 std::to_string(future.value().value_or(-1)) + " " +
                                 std::to_string(future.waitUntilCompleted().isSuccess());
        return FutureResult<std::string>::success(read);
      });
  std::thread([promise] { promise.completeWithSuccess(4); }).detach();
  ASSERT_THAT(awaitResult(seen), SucceedsWith("1 4 1"));
  EXPECT_THAT(future, SucceedsWith(4));
}

TEST(StressTest, RacingCompletionsHaveOneWinnerAndEveryContinuationRunsOnce) {
#ifdef TESSELLON_TSAN
  constexpr int kRounds = 30;
#else
  constexpr int kRounds = 200;
#endif
  constexpr int kThreads = 8;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE(round);
    Promise<int> promise;
    std::latch start(kThreads);
    std::vector<std::atomic<int>> runs(kThreads);
    std::vector<std::optional<Future<int>>> continuations(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
      // Each thread attaches a continuation, then races to complete with its own result.
      threads.emplace_back([&, i] {
        start.arrive_and_wait();
        continuations[i] = promise.future.onComplete(Executor::immediate(),
                                                     [&runs, i](const FutureResult<int>& result) {
                                                       ++runs[i];
                                                       return result;
                                                     });
        i % 2 ? promise.completeWithCancel() : promise.completeWithSuccess(i);
      });
    }
    for (auto& thread : threads) thread.join();
    const std::string winner = ::testing::PrintToString(promise.future.result());
    for (int i = 0; i < kThreads; ++i) {
      EXPECT_EQ(runs[i].load(), 1);
      EXPECT_EQ(::testing::PrintToString(continuations[i]->result()), winner);
    }
  }
}

}  // namespace
}  // namespace tessellon
