#include "core/CancelToken.h"

#include <atomic>
#include <stdexcept>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/ErrorMatchers.h"

namespace tessellon {
namespace {

TEST(CancelTokenTest, HandlersRunOnceEvenWhenRegisteredLateOrFromAHandler) {
  CancelToken token;
  int runs = 0;
  bool nestedRan = false;
  (void)token.onCancel([&] { ++runs; });
  // The monitor is recursive: a handler touching its own token must not deadlock.
  (void)token.onCancel([&] { (void)token.onCancel([&] { nestedRan = true; }); });
  ASSERT_TRUE(token.cancel().ok());
  ASSERT_TRUE(token.cancel().ok());
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(nestedRan);
  EXPECT_TRUE(token.isCanceled());

  bool lateRan = false;
  ASSERT_TRUE(token.onCancel([&] { lateRan = true; }).ok());
  EXPECT_TRUE(lateRan) << "a handler registered after cancel runs before onCancel returns";
}

TEST(CancelTokenTest, ThrowingHandlerStopsTheRestAndReportsItsError) {
  CancelToken token;
  bool secondRan = false;
  (void)token.onCancel(
      [] { throw ErrorException(makeError(BackupSDKError::fileIOFailedToDelete)); });
  (void)token.onCancel([&] { secondRan = true; });
  const Result<void> result = token.cancel();
  ASSERT_FALSE(result.ok());
  EXPECT_THAT(result.error(), HasCode(BackupSDKError::fileIOFailedToDelete));
  EXPECT_FALSE(secondRan);
  EXPECT_TRUE(token.isCanceled());

  const Result<void> late = token.onCancel([] { throw std::runtime_error("boom"); });
  ASSERT_FALSE(late.ok());
  EXPECT_EQ(late.error().message, "boom");
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

}  // namespace
}  // namespace tessellon
