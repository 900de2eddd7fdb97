#include "sdk/NotificationService.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "sdk/FileStatusManager.h"
#include "support/BackgroundQueue.h"
#include "support/RecordingLogger.h"

namespace tessellon {
namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;

class NotificationServiceTest : public ::testing::Test {
 protected:
  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
  std::shared_ptr<NotificationService> notifications_ =
      std::make_shared<NotificationService>(logger_);
  FileStatusManager manager_{notifications_};

  // Statuses the host's backup closure received, and whether each came on the
  // background queue.
  std::mutex mutex_;
  std::vector<FileStatus> received_;
  bool allOnBackgroundQueue_ = true;

  void installBackupProgress() {
    notifications_->setBackupProgress([this](const FileStatus& status) {
      std::lock_guard lock(mutex_);
      received_.push_back(status);
      allOnBackgroundQueue_ = allOnBackgroundQueue_ && Async::backgroundQueue()->isCurrent();
    });
  }
};

TEST_F(NotificationServiceTest, WithoutClosuresReportsCallNothingAndLogNothing) {
  notifications_->reportBackupPreviewProgress(10);
  notifications_->reportBackupProgress(FileStatus{1, 0, 10, 0});
  notifications_->reportRestoreProgress(FileStatus{1, 0, 10, 0});
  notifications_->reportCancellationFinished();
  ASSERT_TRUE(flushBackgroundQueue());
  EXPECT_TRUE(logger_->lines().empty());
}

TEST_F(NotificationServiceTest, PreviewProgressIsLoggedThenDeliveredOnTheBackgroundQueue) {
  int received = -1;
  bool onBackgroundQueue = false;
  notifications_->setBackupPreviewProgress([&](int progress) {
    received = progress;
    onBackgroundQueue = Async::backgroundQueue()->isCurrent();
  });

  notifications_->reportBackupPreviewProgress(42);
  ASSERT_TRUE(flushBackgroundQueue());

  EXPECT_EQ(received, 42);
  EXPECT_TRUE(onBackgroundQueue);
  ASSERT_EQ(logger_->lines().size(), 1u);
  EXPECT_EQ(logger_->lines()[0].first, LogLevel::debug);
  EXPECT_THAT(logger_->lines()[0].second, ::testing::StartsWith("ReportBackupPreviewProgress: (Thread: "));
  EXPECT_THAT(logger_->lines()[0].second, HasSubstr("; IsMainThread: true) "));
  EXPECT_THAT(logger_->lines()[0].second, EndsWith(") progress: 42"));
}

TEST_F(NotificationServiceTest, HostGetsSnapshotsInReportOrder) {
  installBackupProgress();
  manager_.setFileStatus(FileStatus{3, 0, 300, 0});
  for (int i = 1; i <= 3; ++i) {
    manager_.update([](FileStatus& status) {
      status.processed += 1;
      status.processedBytes += 100;
    });
    manager_.notifyAboutCurrentBackupFileStatus();
  }
  ASSERT_TRUE(flushBackgroundQueue());

  std::lock_guard lock(mutex_);
  EXPECT_THAT(received_, ElementsAre(FileStatus{3, 1, 300, 100}, FileStatus{3, 2, 300, 200},
                                     FileStatus{3, 3, 300, 300}));
  EXPECT_TRUE(allOnBackgroundQueue_);
  EXPECT_EQ(logger_->count(LogLevel::debug, "ReportBackupProgress: (Thread: "), 3u);
  EXPECT_THAT(logger_->lines().back().second,
              EndsWith("file status: overall=3 processed=3 overallBytes=300 processedBytes=300"));
}

TEST_F(NotificationServiceTest, InBetweenStatusIsReportedButNotStored) {
  installBackupProgress();
  manager_.setFileStatus(FileStatus{2, 1, 2000, 1000});

  manager_.notifyAboutCurrentFileStatusBackupNotPersisting(FileStatus{2, 1, 2000, 1500});
  ASSERT_TRUE(flushBackgroundQueue());

  EXPECT_EQ(manager_.fileStatus(), (FileStatus{2, 1, 2000, 1000}));
  std::lock_guard lock(mutex_);
  EXPECT_THAT(received_, ElementsAre(FileStatus{2, 1, 2000, 1500}));
}

TEST_F(NotificationServiceTest, ResetClosureDropsLaterReports) {
  installBackupProgress();
  notifications_->setBackupProgress(nullptr);
  manager_.notifyAboutCurrentBackupFileStatus();
  ASSERT_TRUE(flushBackgroundQueue());
  std::lock_guard lock(mutex_);
  EXPECT_TRUE(received_.empty());
}

TEST_F(NotificationServiceTest, RestoreReportsReachOnlyTheRestoreClosure) {
  installBackupProgress();
  FileStatus restored;
  notifications_->setRestoreProgress([&](const FileStatus& status) { restored = status; });
  manager_.setFileStatus(FileStatus{5, 2, 50, 20});
  manager_.notifyAboutCurrentRestoreFileStatus();
  ASSERT_TRUE(flushBackgroundQueue());
  EXPECT_EQ(restored, (FileStatus{5, 2, 50, 20}));
  EXPECT_EQ(logger_->count(LogLevel::debug, "ReportRestoreProgress: (Thread: "), 1u);
  std::lock_guard lock(mutex_);
  EXPECT_TRUE(received_.empty());
}

}  // namespace
}  // namespace tessellon
