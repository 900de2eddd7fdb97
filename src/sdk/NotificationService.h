#pragma once

#include <memory>
#include <mutex>

#include "sdk/NotificationServiceProtocol.h"
#include "tessellon/LoggerProtocol.h"

namespace tessellon {

// The one holder of the host's closures. Setters and reports may come from any
// thread; closures are read under a lock and called on the background queue.
class NotificationService final : public NotificationServiceProtocol {
 public:
  // `logger` may be null.
  explicit NotificationService(std::shared_ptr<LoggerProtocol> logger);

  PreviewProgress backupPreviewProgress() const override;
  void setBackupPreviewProgress(PreviewProgress closure) override;
  void reportBackupPreviewProgress(int progress) override;

  StatusProgress backupProgress() const override;
  void setBackupProgress(StatusProgress closure) override;
  void reportBackupProgress(const FileStatus& status) override;

  StatusProgress restoreProgress() const override;
  void setRestoreProgress(StatusProgress closure) override;
  void reportRestoreProgress(const FileStatus& status) override;

  std::function<void()> cancellationFinished() const override;
  void setCancellationFinished(std::function<void()> closure) override;
  void reportCancellationFinished() override;

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
