#include "core/FileStatusManager.h"

namespace tessellon {

FileStatusManager::FileStatusManager(std::shared_ptr<NotificationService> notificationService)
    : notificationService_(std::move(notificationService)) {}

FileStatus FileStatusManager::fileStatus() const {
  std::lock_guard lock(mutex_);
  return fileStatus_;
}

void FileStatusManager::setFileStatus(const FileStatus& status) {
  std::lock_guard lock(mutex_);
  fileStatus_ = status;
}

FileStatus FileStatusManager::update(const std::function<void(FileStatus&)>& change) {
  std::lock_guard lock(mutex_);
  change(fileStatus_);
  return fileStatus_;
}

void FileStatusManager::notifyAboutCurrentBackupFileStatus() {
  notificationService_->reportBackupProgress(fileStatus());
}

void FileStatusManager::notifyAboutCurrentRestoreFileStatus() {
  notificationService_->reportRestoreProgress(fileStatus());
}

void FileStatusManager::notifyAboutCurrentFileStatusBackupNotPersisting(const FileStatus& status) {
  notificationService_->reportBackupProgress(status);
}

void FileStatusManager::notifyAboutCurrentFileStatusRestoreNotPersisting(const FileStatus& status) {
  notificationService_->reportRestoreProgress(status);
}

}  // namespace tessellon
