#include "core/NotificationService.h"

#include <atomic>
#include <mutex>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/FileStatusManager.h"
#include "support/BackgroundQueue.h"

namespace tessellon {
namespace {

TEST(NotificationServiceTest, HostGetsSnapshotsInReportOrderOnTheBackgroundQueue) {
  auto notifications = std::make_shared<NotificationService>(nullptr);
  std::mutex mutex;
  std::vector<FileStatus> reported;
  bool allOnBackgroundQueue = true;
  notifications->setBackupProgress([&](const FileStatus& status) {
    std::lock_guard lock(mutex);
    reported.push_back(status);
    allOnBackgroundQueue = allOnBackgroundQueue && Async::backgroundQueue()->isCurrent();
  });
  const auto backups = [&] {
    EXPECT_TRUE(flushBackgroundQueue());
    std::lock_guard lock(mutex);
    return reported;
  };
  FileStatusManager manager(notifications);
  manager.setFileStatus(FileStatus{3, 0, 300, 0});
  for (int i = 1; i <= 3; ++i) {
    manager.update([](FileStatus& status) {
      status.processed += 1;
      status.processedBytes += 100;
    });
    manager.notifyAboutCurrentBackupFileStatus();
  }
  EXPECT_THAT(backups(),
              ::testing::ElementsAre(FileStatus{3, 1, 300, 100}, FileStatus{3, 2, 300, 200},
                                     FileStatus{3, 3, 300, 300}));
  EXPECT_TRUE(allOnBackgroundQueue);

  // An in-between status is reported but not stored.
  manager.notifyAboutCurrentFileStatusBackupNotPersisting(FileStatus{3, 3, 300, 350});
  EXPECT_EQ(backups().back(), (FileStatus{3, 3, 300, 350}));
  EXPECT_EQ(manager.fileStatus(), (FileStatus{3, 3, 300, 300}));
  notifications->setBackupProgress(nullptr);  // the closure refers to this frame
  EXPECT_TRUE(flushBackgroundQueue());
}

// A host that cancels from its transfer's cancel() starts a cancel, without completion, inside the
// user's: the user's completion must still come, once.
TEST(NotificationServiceTest, ACancelInsideAnotherKeepsTheOuterCompletion) {
  NotificationService notifications(nullptr);
  std::atomic<int> outer{0};
  std::atomic<int> second{0};
  notifications.setCancellationFinished([&] { ++outer; });
  notifications.setCancellationFinished(nullptr);
  notifications.reportCancellationFinished();
  notifications.reportCancellationFinished();
  ASSERT_TRUE(flushBackgroundQueue());
  EXPECT_EQ(outer, 1);

  // Two cancels before one report: both completions come.
  notifications.setCancellationFinished([&] { ++outer; });
  notifications.setCancellationFinished([&] { ++second; });
  notifications.reportCancellationFinished();
  ASSERT_TRUE(flushBackgroundQueue());
  EXPECT_EQ(outer, 2);
  EXPECT_EQ(second, 1);
}

}  // namespace
}  // namespace tessellon
