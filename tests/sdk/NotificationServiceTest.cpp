#include "sdk/NotificationService.h"

#include <mutex>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sdk/FileStatusManager.h"
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

}  // namespace
}  // namespace tessellon
