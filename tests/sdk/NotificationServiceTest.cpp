#include "sdk/NotificationService.h"

#include <mutex>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sdk/FileStatusManager.h"
#include "support/BackgroundQueue.h"
#include "support/RecordingLogger.h"

namespace tessellon {
namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

class NotificationServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    notifications_->setBackupProgress([this](const FileStatus& status) {
      std::lock_guard lock(mutex_);
      backups_.push_back(status);
      allOnBackgroundQueue_ = allOnBackgroundQueue_ && Async::backgroundQueue()->isCurrent();
    });
  }
  // Statuses the host's backup closure received so far.
  std::vector<FileStatus> backups() {
    EXPECT_TRUE(flushBackgroundQueue());
    std::lock_guard lock(mutex_);
    return backups_;
  }

  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
  std::shared_ptr<NotificationService> notifications_ =
      std::make_shared<NotificationService>(logger_);
  FileStatusManager manager_{notifications_};
  std::mutex mutex_;
  std::vector<FileStatus> backups_;
  bool allOnBackgroundQueue_ = true;
};

TEST_F(NotificationServiceTest, HostGetsSnapshotsInReportOrderOnTheBackgroundQueue) {
  manager_.setFileStatus(FileStatus{3, 0, 300, 0});
  for (int i = 1; i <= 3; ++i) {
    manager_.update([](FileStatus& status) {
      status.processed += 1;
      status.processedBytes += 100;
    });
    manager_.notifyAboutCurrentBackupFileStatus();
  }
  EXPECT_THAT(backups(), ElementsAre(FileStatus{3, 1, 300, 100}, FileStatus{3, 2, 300, 200},
                                     FileStatus{3, 3, 300, 300}));
  EXPECT_TRUE(allOnBackgroundQueue_);
  EXPECT_EQ(logger_->count(LogLevel::debug, "ReportBackupProgress: (Thread: "), 3u);
  EXPECT_THAT(logger_->lines().back().second,
              EndsWith("file status: overall=3 processed=3 overallBytes=300 processedBytes=300"));

  // An in-between status is reported but not stored.
  manager_.notifyAboutCurrentFileStatusBackupNotPersisting(FileStatus{3, 3, 300, 350});
  EXPECT_EQ(backups().back(), (FileStatus{3, 3, 300, 350}));
  EXPECT_EQ(manager_.fileStatus(), (FileStatus{3, 3, 300, 300}));
}

TEST_F(NotificationServiceTest, EachReportReachesOnlyItsOwnClosure) {
  int preview = -1;
  bool previewOnBackgroundQueue = false;
  notifications_->setBackupPreviewProgress([&](int progress) {
    preview = progress;
    previewOnBackgroundQueue = Async::backgroundQueue()->isCurrent();
  });
  FileStatus restored;
  notifications_->setRestoreProgress([&](const FileStatus& status) { restored = status; });

  notifications_->reportBackupPreviewProgress(42);
  manager_.setFileStatus(FileStatus{5, 2, 50, 20});
  manager_.notifyAboutCurrentRestoreFileStatus();
  EXPECT_THAT(backups(), IsEmpty());
  EXPECT_EQ(preview, 42);
  EXPECT_TRUE(previewOnBackgroundQueue);
  EXPECT_EQ(restored, (FileStatus{5, 2, 50, 20}));
  const auto lines = logger_->lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].first, LogLevel::debug);
  EXPECT_THAT(lines[0].second,
              AllOf(StartsWith("ReportBackupPreviewProgress: (Thread: "),
                    HasSubstr("; IsMainThread: true) "), EndsWith(") progress: 42")));
  EXPECT_THAT(lines[1].second, StartsWith("ReportRestoreProgress: (Thread: "));
}

TEST_F(NotificationServiceTest, WithoutClosuresReportsCallNothingAndLogNothing) {
  notifications_->setBackupProgress(nullptr);
  notifications_->reportBackupPreviewProgress(10);
  notifications_->reportBackupProgress(FileStatus{1, 0, 10, 0});
  notifications_->reportRestoreProgress(FileStatus{1, 0, 10, 0});
  notifications_->reportCancellationFinished();
  EXPECT_THAT(backups(), IsEmpty());
  EXPECT_THAT(logger_->lines(), IsEmpty());
}

}  // namespace
}  // namespace tessellon
