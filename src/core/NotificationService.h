#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string_view>

#include "tessellon/FileStatus.h"
#include "tessellon/LoggerProtocol.h"

namespace tessellon {

// The one holder of the host's progress and cancellation closures; calls them on the background
// queue, in the order of the reports. An empty closure drops its reports silently. Setters and
// reports may come from any thread; closures are read under a lock.
class NotificationService final {
 public:
  static constexpr std::string_view kProtocolName = "NotificationService";
  // `logger` may be null.
  explicit NotificationService(std::shared_ptr<LoggerProtocol> logger);

  using PreviewProgress = std::function<void(int)>;
  using StatusProgress = std::function<void(const FileStatus&)>;

  PreviewProgress backupPreviewProgress() const;
  void setBackupPreviewProgress(PreviewProgress closure);
  void reportBackupPreviewProgress(int progress);

  StatusProgress backupProgress() const;
  void setBackupProgress(StatusProgress closure);
  // The host receives a snapshot of `status`.
  void reportBackupProgress(const FileStatus& status);

  StatusProgress restoreProgress() const;
  void setRestoreProgress(StatusProgress closure);
  void reportRestoreProgress(const FileStatus& status);

  std::function<void()> cancellationFinished() const;
  void setCancellationFinished(std::function<void()> closure);
  void reportCancellationFinished();

 private:
  void reportStatus(const StatusProgress& closure, const char* label, const FileStatus& status);

  mutable std::mutex mutex_;
  std::function<void()> cancellationFinished_;
  StatusProgress backupProgress_;
  StatusProgress restoreProgress_;
  PreviewProgress backupPreviewProgress_;
  const std::shared_ptr<LoggerProtocol> logger_;  // may be null
};

}  // namespace tessellon
