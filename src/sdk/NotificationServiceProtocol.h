#pragma once

#include <functional>
#include <string_view>

#include "tessellon/FileStatus.h"

namespace tessellon {

// Holds the host's progress and cancellation closures and calls them on the
// background queue, in the order of the reports. An empty closure drops its
// reports silently.
class NotificationServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "NotificationServiceProtocol";
  NotificationServiceProtocol() = default;
  virtual ~NotificationServiceProtocol() = default;
  NotificationServiceProtocol(const NotificationServiceProtocol&) = delete;
  NotificationServiceProtocol& operator=(const NotificationServiceProtocol&) = delete;

  using PreviewProgress = std::function<void(int)>;
  using StatusProgress = std::function<void(const FileStatus&)>;

  virtual PreviewProgress backupPreviewProgress() const = 0;
  virtual void setBackupPreviewProgress(PreviewProgress closure) = 0;
  virtual void reportBackupPreviewProgress(int progress) = 0;

  virtual StatusProgress backupProgress() const = 0;
  virtual void setBackupProgress(StatusProgress closure) = 0;
  // The host receives a snapshot of `status`.
  virtual void reportBackupProgress(const FileStatus& status) = 0;

  virtual StatusProgress restoreProgress() const = 0;
  virtual void setRestoreProgress(StatusProgress closure) = 0;
  virtual void reportRestoreProgress(const FileStatus& status) = 0;

  virtual std::function<void()> cancellationFinished() const = 0;
  virtual void setCancellationFinished(std::function<void()> closure) = 0;
  virtual void reportCancellationFinished() = 0;
};

}  // namespace tessellon
