#pragma once

#include <functional>
#include <string_view>

#include "tessellon/FileStatus.h"

namespace tessellon {

// Owns the running progress record of a backup or restore and pushes it to the
// host. The record only ever counts finished files; in-between values of a
// running transfer are reported without being stored. Thread safe.
class FileStatusManagerProtocol {
 public:
  static constexpr std::string_view kProtocolName = "FileStatusManagerProtocol";
  FileStatusManagerProtocol() = default;
  virtual ~FileStatusManagerProtocol() = default;
  FileStatusManagerProtocol(const FileStatusManagerProtocol&) = delete;
  FileStatusManagerProtocol& operator=(const FileStatusManagerProtocol&) = delete;

  // A snapshot of the running record.
  virtual FileStatus fileStatus() const = 0;
  // Installs the record of a new operation.
  virtual void setFileStatus(const FileStatus& status) = 0;
  // Changes the running record in place, atomically with respect to other
  // updates; returns the record after the change.
  virtual FileStatus update(const std::function<void(FileStatus&)>& change) = 0;

  virtual void notifyAboutCurrentBackupFileStatus() = 0;
  virtual void notifyAboutCurrentRestoreFileStatus() = 0;
  virtual void notifyAboutCurrentFileStatusBackupNotPersisting(const FileStatus& status) = 0;
  virtual void notifyAboutCurrentFileStatusRestoreNotPersisting(const FileStatus& status) = 0;
};

}  // namespace tessellon
