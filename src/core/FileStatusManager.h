#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string_view>

#include "tessellon/FileStatus.h"

#include "core/NotificationService.h"

namespace tessellon {

// Owns the running progress record of a backup or restore and pushes it to the
// host. The record only ever counts finished files; in-between values of a
// running transfer are reported without being stored. Thread safe.
class FileStatusManager final {
 public:
  static constexpr std::string_view kProtocolName = "FileStatusManager";
  explicit FileStatusManager(std::shared_ptr<NotificationService> notificationService);

  // A snapshot of the running record.
  FileStatus fileStatus() const;
  // Installs the record of a new operation.
  void setFileStatus(const FileStatus& status);
  // Changes the running record in place, atomically with respect to other
  // updates; returns the record after the change.
  FileStatus update(const std::function<void(FileStatus&)>& change);

  void notifyAboutCurrentBackupFileStatus();
  void notifyAboutCurrentRestoreFileStatus();
  void notifyAboutCurrentFileStatusBackupNotPersisting(const FileStatus& status);
  void notifyAboutCurrentFileStatusRestoreNotPersisting(const FileStatus& status);

 private:
  mutable std::mutex mutex_;
  FileStatus fileStatus_;
  const std::shared_ptr<NotificationService> notificationService_;
};

}  // namespace tessellon
