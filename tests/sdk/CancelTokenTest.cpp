#include "sdk/CancelToken.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/ErrorMatchers.h"

namespace tessellon {
namespace {

TEST(CancelTokenTest, HandlerRegisteredAfterCancelRunsBeforeOnCancelReturns) {
  CancelToken token;
  ASSERT_TRUE(token.cancel().ok());
  bool ran = false;
  ASSERT_TRUE(token.onCancel([&] { ran = true; }).ok());
  EXPECT_TRUE(ran);
}

TEST(CancelTokenTest, SecondCancelRunsNoHandlerAgain) {
  CancelToken token;
  int runs = 0;
  (void)token.onCancel([&] { ++runs; });
  (void)token.cancel();
  (void)token.cancel();
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(token.isCanceled());
}

TEST(CancelTokenTest, ThrowingHandlerStopsTheRestAndReportsItsError) {
  CancelToken token;
  bool secondRan = false;
  (void)token.onCancel(
      [] { throw ErrorException(makeError(BackupSDKError::fileIOFailedToDelete)); });
  (void)token.onCancel([&] { secondRan = true; });

  Result<void> result = token.cancel();

  ASSERT_FALSE(result.ok());
  EXPECT_THAT(result.error(), HasCode(BackupSDKError::fileIOFailedToDelete));
  EXPECT_FALSE(secondRan);
  EXPECT_TRUE(token.isCanceled());
}

TEST(CancelTokenTest, OnCancelOfACancelledTokenReportsTheHandlersError) {
  CancelToken token;
  (void)token.cancel();
  Result<void> result = token.onCancel([] { throw std::runtime_error("boom"); });
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().message, "boom");
}

TEST(CancelTokenTest, HandlersRacingCancelEachRunExactlyOnce) {
  CancelToken token;
  constexpr int kThreads = 4;
  constexpr int kPerThread = 500;
  std::atomic<int> runs{0};
  std::vector<std::thread> registrars;
  for (int t = 0; t < kThreads; ++t) {
    registrars.emplace_back([&] {
      for (int i = 0; i < kPerThread; ++i) (void)token.onCancel([&] { ++runs; });
    });
  }
  std::thread canceller([&] { (void)token.cancel(); });
  for (auto& thread : registrars) thread.join();
  canceller.join();
  EXPECT_EQ(runs.load(), kThreads * kPerThread);
}

TEST(CancelTokenTest, HandlerMayRegisterAnotherHandlerOnTheSameToken) {
  // The monitor is recursive: a handler touching its own token must not deadlock.
  CancelToken token;
  bool innerRan = false;
  (void)token.onCancel([&] { (void)token.onCancel([&] { innerRan = true; }); });
  (void)token.cancel();
  EXPECT_TRUE(innerRan);
}

}  // namespace
}  // namespace tessellon
