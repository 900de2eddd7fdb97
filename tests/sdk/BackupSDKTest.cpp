#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <barrier>

#include "sdk/FacadeFixture.h"
#include "support/ErrorMatchers.h"

namespace tessellon::testing {
namespace {

using ::testing::Optional;

class BackupSDKTest : public FacadeTest {};

TEST_F(BackupSDKTest, BackupRunsThroughAccessPreviewAndRunAndReturnsTheReport) {
  ReportProbe done;
  sdk_->startBackup(allCategories(), nullptr, done.callback());
  ASSERT_TRUE(backup_->answer.waitStarted());

  backup_->answer.complete(FutureResult<std::shared_ptr<ProcessReport>>::success(report()));

  ASSERT_TRUE(done.wait());
  ASSERT_TRUE(done.arg<0>());
  EXPECT_EQ(done.arg<0>()->images->failed, 1);
  EXPECT_FALSE(done.arg<1>());
  // Completed from a host thread: the completion runs on the pool, not inline.
  EXPECT_FALSE(done.onMainThread());
  EXPECT_EQ(logger_->count(LogLevel::info, "Started backup using BackupSDK(" TESSELLON_VERSION
                                           ") with settings"),
            1u);
}

TEST_F(BackupSDKTest, SecondStartWhileRunningIsRefusedAtOnceAndTheFirstRunsOn) {
  ReportProbe first;
  ReportProbe second;
  BackupProbe preview;
  sdk_->startBackup(allCategories(), nullptr, first.callback());
  ASSERT_TRUE(backup_->answer.waitStarted());

  sdk_->startBackup(std::make_shared<Backup>("device"), nullptr, second.callback());
  sdk_->startPreview(allCategories(), nullptr, preview.callback());

  // Refusals arrive synchronously, on the caller's thread, without a start line.
  ASSERT_EQ(second.calls(), 1);
  EXPECT_THAT(second.arg<1>(), HasCode(BackupSDKError::isAlreadyRunning));
  EXPECT_TRUE(second.onMainThread());
  EXPECT_THAT(preview.arg<1>(), HasCode(BackupSDKError::isAlreadyRunning));
  EXPECT_EQ(logger_->count(LogLevel::info, "Started backup using BackupSDK(" TESSELLON_VERSION ")"),
            1u);

  backup_->answer.complete(FutureResult<std::shared_ptr<ProcessReport>>::success(report()));
  ASSERT_TRUE(first.wait());
  EXPECT_TRUE(first.arg<0>());
  EXPECT_EQ(backup_->answer.started(), 1);
}

TEST_F(BackupSDKTest, RacingStartsLetExactlyOneRun) {
  ReportProbe a;
  ReportProbe b;
  std::barrier sync(2);
  std::thread first([&] {
    sync.arrive_and_wait();
    sdk_->startBackup(std::make_shared<Backup>("device"), nullptr, a.callback());
  });
  std::thread second([&] {
    sync.arrive_and_wait();
    sdk_->startBackup(std::make_shared<Backup>("device"), nullptr, b.callback());
  });
  first.join();
  second.join();

  ASSERT_TRUE(backup_->answer.waitStarted());
  EXPECT_EQ(backup_->answer.started(), 1);
  ASSERT_EQ(a.calls() + b.calls(), 1);
  ReportProbe& refused = a.calls() == 1 ? a : b;
  ReportProbe& running = a.calls() == 1 ? b : a;
  EXPECT_THAT(refused.arg<1>(), HasCode(BackupSDKError::isAlreadyRunning));

  backup_->answer.complete(FutureResult<std::shared_ptr<ProcessReport>>::success(report()));
  ASSERT_TRUE(running.wait());
  EXPECT_TRUE(running.arg<0>());
}

TEST_F(BackupSDKTest, ErrorsReachTheHostInItsForm) {
  ReportProbe full;
  sdk_->startBackup(std::make_shared<Backup>("device"), nullptr, full.callback());
  ASSERT_TRUE(backup_->answer.waitStarted());
  backup_->answer.complete(FutureResult<std::shared_ptr<ProcessReport>>::fail(
      makeError(BackupSDKError::mediaNotEnoughRemoteStorage)));
  ASSERT_TRUE(full.wait());
  EXPECT_THAT(full.arg<1>(), HasCode(BackupSDKError::mediaNotEnoughRemoteStorage));

  // An internal error of another kind arrives as code 0 of the library's domain.
  preview_->failure = Error{"JsonError", 1, "missing key startDate"};
  BackupProbe preview;
  sdk_->startPreview(allCategories(), nullptr, preview.callback());
  ASSERT_TRUE(preview.wait());
  EXPECT_THAT(preview.arg<1>(), HasCode(BackupSDKError::unknownError));
  EXPECT_EQ(logger_->count(LogLevel::error, "Backup Preview FAILED"), 1u);

  // A denied category fails the operation with its code and frees the slot.
  access_->denial = makeError(BackupSDKError::contactsAccessDenied);
  ReportProbe denied;
  sdk_->startBackup(allCategories(), nullptr, denied.callback());
  ASSERT_TRUE(denied.wait());
  EXPECT_THAT(denied.arg<1>(), HasCode(BackupSDKError::contactsAccessDenied));
  EXPECT_FALSE(BackupSDKState::isRunning());
}

TEST_F(BackupSDKTest, PreviewReportsProgressOnlyWhileItRuns) {
  BackupProbe done;
  sdk_->startPreview(allCategories(), [](int) {}, done.callback());
  ASSERT_TRUE(done.wait());
  EXPECT_TRUE(done.arg<0>());
  EXPECT_EQ(logger_->count(LogLevel::info, "Backup Preview finished SUCCESSFULLY"), 1u);

  // The finish reset the closure: a late report reaches nobody.
  EXPECT_FALSE(IoC::resolve<NotificationServiceProtocol>().value()->backupPreviewProgress());
}

TEST_F(BackupSDKTest, RestoreChecksTheFormatVersionBeforeStarting) {
  auto newer = std::make_shared<Backup>("device");
  newer->version = std::make_shared<Version>(2, 0);
  ReportProbe refused;
  sdk_->startRestore(newer, Settings(true, true, true, true), nullptr, refused.callback());
  ASSERT_EQ(refused.calls(), 1);
  EXPECT_THAT(refused.arg<1>(), HasCode(BackupSDKError::versionConflict));
  EXPECT_EQ(restore_->helper->answer.started(), 0);

  // Same major, newer minor: restorable.
  auto sameMajor = std::make_shared<Backup>("device");
  sameMajor->version = std::make_shared<Version>(1, 9);
  ReportProbe restored;
  sdk_->startRestore(sameMajor, Settings(true, true, true, true), nullptr, restored.callback());
  ASSERT_TRUE(restore_->helper->answer.waitStarted());
  restore_->helper->answer.complete(FutureResult<std::shared_ptr<ProcessReport>>::success(report()));
  ASSERT_TRUE(restored.wait());
  EXPECT_TRUE(restored.arg<0>());
  // The start line is written before the guard, so also for the refused restore.
  EXPECT_EQ(logger_->count(LogLevel::info, "Started restore using BackupSDK(" TESSELLON_VERSION ")"),
            2u);
}

TEST_F(BackupSDKTest, RestoreDeniedAccessFreesTheSlotWithoutInstallingProgress) {
  access_->denial = makeError(BackupSDKError::calendarsAccessDenied);
  ReportProbe done;
  sdk_->startRestore(std::make_shared<Backup>("device"), Settings(false, true, false, false),
                     [](const FileStatus&) {}, done.callback());
  ASSERT_TRUE(done.wait());
  EXPECT_THAT(done.arg<1>(), HasCode(BackupSDKError::calendarsAccessDenied));
  EXPECT_FALSE(IoC::resolve<NotificationServiceProtocol>().value()->restoreProgress());
}

class BackupSDKWithoutServicesTest : public ::testing::Test {};

TEST_F(BackupSDKWithoutServicesTest, ConstructionLogsTheFailureAndOperationsReportUnknownError) {
  auto logger = std::make_shared<RecordingLogger>();
  IoC::reset();
  // Without a delegate there is no remote port, so no service can be built.
  BackupSDK sdk(nullptr, logger);
  EXPECT_EQ(logger->count(LogLevel::error, "setupIoC failed: "), 1u);

  ReportProbe backup;
  BackupProbe preview;
  ListProbe list;
  sdk.startBackup(BackupSettings("x", true, false, false, false, false), nullptr,
                  backup.callback());
  sdk.startPreview(BackupSettings("x", true, false, false, false, false), nullptr,
                   preview.callback());
  sdk.getAvailableBackups(list.callback());
  EXPECT_THAT(backup.arg<1>(), HasCode(BackupSDKError::unknownError));
  EXPECT_THAT(preview.arg<1>(), HasCode(BackupSDKError::unknownError));
  EXPECT_THAT(list.arg<1>(), HasCode(BackupSDKError::unknownError));

  Probe<> cancelled;
  sdk.cancel(cancelled.callback());
  EXPECT_TRUE(cancelled.wait());
}

}  // namespace
}  // namespace tessellon::testing
