#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sdk/FacadeFixture.h"
#include "support/BackgroundQueue.h"
#include "support/ErrorMatchers.h"

namespace tessellon::testing {
namespace {

class BackupSDKCancelTest : public FacadeTest {
 protected:
  // Cancel completions arrive on the background queue; none may outlive the
  // fixture.
  void TearDown() override {
    ASSERT_TRUE(flushBackgroundQueue());
    FacadeTest::TearDown();
  }

  // A cancel completion that records whether it ran on the background queue.
  std::function<void()> cancelCompletion() {
    return [this] {
      std::lock_guard lock(mutex_);
      ++cancelCalls_;
      cancelOnBackgroundQueue_ = Async::backgroundQueue()->isCurrent();
      cancelled_.notify_all();
    };
  }
  bool waitCancelled() {
    std::unique_lock lock(mutex_);
    return cancelled_.wait_for(lock, 10s, [&] { return cancelCalls_ > 0; });
  }

  std::mutex mutex_;
  std::condition_variable cancelled_;
  int cancelCalls_ = 0;
  bool cancelOnBackgroundQueue_ = false;
};

TEST_F(BackupSDKCancelTest, CancelDuringBackupEndsItEmptyAndTheNextOperationStarts) {
  ReportProbe backup;
  sdk_->startBackup(allCategories(), nullptr, backup.callback());
  ASSERT_TRUE(backup_->answer.waitStarted());

  sdk_->cancel(cancelCompletion());

  ASSERT_TRUE(waitCancelled());
  ASSERT_TRUE(backup.wait());
  EXPECT_FALSE(backup.arg<0>());
  EXPECT_FALSE(backup.arg<1>());
  ASSERT_TRUE(flushBackgroundQueue());
  {
    std::lock_guard lock(mutex_);
    EXPECT_EQ(cancelCalls_, 1);
    EXPECT_TRUE(cancelOnBackgroundQueue_);
  }

  BackupProbe preview;
  sdk_->startPreview(allCategories(), nullptr, preview.callback());
  ASSERT_TRUE(preview.wait());
  EXPECT_TRUE(preview.arg<0>());
}

TEST_F(BackupSDKCancelTest, StartsDuringACancelRequestAreRefusedWithIsCanceling) {
  // A service that ignores its token keeps the request open until it answers.
  backup_->answer.completeOnCancel = false;
  ReportProbe backup;
  sdk_->startBackup(std::make_shared<Backup>("device"), nullptr, backup.callback());
  ASSERT_TRUE(backup_->answer.waitStarted());
  sdk_->cancel(cancelCompletion());
  ASSERT_TRUE(waitCancelled());

  BackupProbe preview;
  ReportProbe restore;
  sdk_->startPreview(allCategories(), nullptr, preview.callback());
  sdk_->startRestore(std::make_shared<Backup>("device"), Settings(true, false, false, false),
                     nullptr, restore.callback());
  EXPECT_THAT(preview.arg<1>(), HasCode(BackupSDKError::isCanceling));
  EXPECT_THAT(restore.arg<1>(), HasCode(BackupSDKError::isCanceling));

  backup_->answer.complete(FutureResult<std::shared_ptr<ProcessReport>>::cancelled());
  ASSERT_TRUE(backup.wait());
  EXPECT_FALSE(BackupSDKState::isCanceling());
}

TEST_F(BackupSDKCancelTest, CancelWithNothingRunningCompletesOnceAndChangesNothing) {
  sdk_->cancel(cancelCompletion());
  ASSERT_TRUE(waitCancelled());
  ASSERT_TRUE(flushBackgroundQueue());
  std::lock_guard lock(mutex_);
  EXPECT_EQ(cancelCalls_, 1);
  EXPECT_TRUE(cancelOnBackgroundQueue_);
}

TEST_F(BackupSDKCancelTest, ListingRunsBesideABackupAndLeavesItsSlotAlone) {
  ReportProbe backup;
  sdk_->startBackup(std::make_shared<Backup>("device"), nullptr, backup.callback());
  ASSERT_TRUE(backup_->answer.waitStarted());

  ListProbe list;
  sdk_->getAvailableBackups(list.callback());
  ASSERT_TRUE(restore_->collector->answer.waitStarted());
  restore_->collector->answer.complete(FutureResult<std::vector<std::shared_ptr<Backup>>>::success(
      {std::make_shared<Backup>("a"), std::make_shared<Backup>("b")}));
  ASSERT_TRUE(list.wait());
  ASSERT_TRUE(list.arg<0>());
  EXPECT_EQ(list.arg<0>()->size(), 2u);
  EXPECT_TRUE(BackupSDKState::isRunning());

  backup_->answer.complete(FutureResult<std::shared_ptr<ProcessReport>>::success(report()));
  ASSERT_TRUE(backup.wait());
}

TEST_F(BackupSDKCancelTest, CancelledListingCompletesWithAnEmptyList) {
  restore_->collector->answer.completeOnCancel = false;
  ListProbe list;
  sdk_->getAvailableBackups(list.callback());
  ASSERT_TRUE(restore_->collector->answer.waitStarted());
  sdk_->cancel(cancelCompletion());
  ASSERT_TRUE(waitCancelled());

  // While the listing is being cancelled, a new one is refused.
  ListProbe second;
  sdk_->getAvailableBackups(second.callback());
  EXPECT_THAT(second.arg<1>(), HasCode(BackupSDKError::isCanceling));

  restore_->collector->answer.complete(
      FutureResult<std::vector<std::shared_ptr<Backup>>>::cancelled());
  ASSERT_TRUE(list.wait());
  ASSERT_TRUE(list.arg<0>());
  EXPECT_TRUE(list.arg<0>()->empty());
  EXPECT_FALSE(list.arg<1>());
}

TEST_F(BackupSDKCancelTest, CancelledRestoreCompletesWithTwoEmptyValues) {
  ReportProbe restore;
  sdk_->startRestore(std::make_shared<Backup>("device"), Settings(true, true, true, true), nullptr,
                     restore.callback());
  ASSERT_TRUE(restore_->helper->answer.waitStarted());
  sdk_->cancel(cancelCompletion());
  ASSERT_TRUE(waitCancelled());
  ASSERT_TRUE(restore.wait());
  EXPECT_FALSE(restore.arg<0>());
  EXPECT_FALSE(restore.arg<1>());
}

}  // namespace
}  // namespace tessellon::testing
