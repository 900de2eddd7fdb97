#pragma once

#include <memory>
#include <mutex>

#include "sdk/FileStatusManagerProtocol.h"
#include "sdk/NotificationServiceProtocol.h"

namespace tessellon {

class FileStatusManager final : public FileStatusManagerProtocol {
 public:
  explicit FileStatusManager(std::shared_ptr<NotificationServiceProtocol> notificationService);

  FileStatus fileStatus() const override;
  void setFileStatus(const FileStatus& status) override;
  FileStatus update(const std::function<void(FileStatus&)>& change) override;

  void notifyAboutCurrentBackupFileStatus() override;
  void notifyAboutCurrentRestoreFileStatus() override;
  void notifyAboutCurrentFileStatusBackupNotPersisting(const FileStatus& status) override;
  void notifyAboutCurrentFileStatusRestoreNotPersisting(const FileStatus& status) override;

 private:
  mutable std::mutex mutex_;
  FileStatus fileStatus_;
  const std::shared_ptr<NotificationServiceProtocol> notificationService_;
};

}  // namespace tessellon
