#include "remote/SingleFileTransferStateReporter.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "core/FileStatusManager.h"
#include "core/NotificationService.h"
#include "support/BackgroundQueue.h"

namespace tessellon {
namespace {

// The host's progress reaches the user's progress as counts and bytes; whatever fraction the host
// sends, and whatever size a record gives a file, they stay within one file of the sizes.
class SingleFileTransferStateReporterTest : public ::testing::Test {
 protected:
  SingleFileTransferStateReporterTest() {
    notifications_->setBackupProgress([this](const FileStatus& s) { record(s); });
    notifications_->setRestoreProgress([this](const FileStatus& s) { record(s); });
  }

  void record(const FileStatus& status) {
    std::lock_guard lock(mutex_);
    reported_.push_back(status);
  }
  FileStatus lastReported() {
    EXPECT_TRUE(flushBackgroundQueue());
    std::lock_guard lock(mutex_);
    EXPECT_FALSE(reported_.empty());
    return reported_.empty() ? FileStatus{} : reported_.back();
  }

  std::shared_ptr<NotificationService> notifications_ =
      std::make_shared<NotificationService>(nullptr);
  SingleFileTransferStateReporter reporter_{std::make_shared<FileStatusManager>(notifications_)};
  std::mutex mutex_;
  std::vector<FileStatus> reported_;
};

struct HostileProgress {
  const char* name;
  double fraction;
  int64_t fileSize;
  int processed;
  int64_t processedBytes;
};

const HostileProgress kHostileProgress[] = {
    {"not a number", std::nan(""), 1000, 0, 0},
    {"negative", -3.0, 1000, 0, 0},
    {"far past the end", 1e308, 1000, 1, 1000},
    {"infinite", std::numeric_limits<double>::infinity(), 1000, 1, 1000},
    {"half of a negative size", 0.5, -1000, 0, 0},
    {"all of the largest size", 1.0, std::numeric_limits<int64_t>::max(), 1,
     std::numeric_limits<int64_t>::max() - 1023},
};

TEST_F(SingleFileTransferStateReporterTest, HostileFractionsOnBackupStayWithinTheFile) {
  for (const HostileProgress& row : kHostileProgress) {
    SCOPED_TRACE(row.name);
    reporter_.setFileSize(row.fileSize);
    reporter_.reportFractionalProgressOnBackup(TransferProgress{row.fraction});
    const FileStatus status = lastReported();
    EXPECT_EQ(status.processed, row.processed);
    EXPECT_EQ(status.processedBytes, row.processedBytes);
  }
}

TEST_F(SingleFileTransferStateReporterTest, HostileFractionsOnRestoreStayWithinTheFile) {
  for (const HostileProgress& row : kHostileProgress) {
    SCOPED_TRACE(row.name);
    const uint64_t transfer = reporter_.beginTransferOnRestore(row.fileSize);
    reporter_.reportTransferProgressOnRestore(transfer, TransferProgress{row.fraction});
    const FileStatus status = lastReported();
    reporter_.endTransferOnRestore(transfer);
    EXPECT_EQ(status.processed, row.processed);
    EXPECT_EQ(status.processedBytes, row.processedBytes);
  }
}

}  // namespace
}  // namespace tessellon
