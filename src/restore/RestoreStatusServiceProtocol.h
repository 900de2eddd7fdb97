#pragma once

#include <cstdint>
#include <string_view>

#include "tessellon/FileStatus.h"
#include "tessellon/Settings.h"

#include "model/BackupRecord.h"

namespace tessellon {

// The progress record of a running restore and the categories it restores.
// Thread safe: the media restore reports from executor threads.
class RestoreStatusServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "RestoreStatusServiceProtocol";
  RestoreStatusServiceProtocol() = default;
  virtual ~RestoreStatusServiceProtocol() = default;
  RestoreStatusServiceProtocol(const RestoreStatusServiceProtocol&) = delete;
  RestoreStatusServiceProtocol& operator=(const RestoreStatusServiceProtocol&) = delete;

  virtual Settings restoreSettings() const = 0;
  virtual void setRestoreSettings(const Settings& settings) = 0;
  // Totals of the selected categories as the backup record summarises them,
  // nothing processed yet.
  virtual FileStatus increaseFileStatusField(const BackupRecord& backup) const = 0;
  // Installs those totals as the running record and tells the host.
  virtual void updateOverallFileStatus(const BackupRecord& backup) = 0;
  // One more file done with `bytes`; tells the host.
  virtual void updateProgress(int64_t bytes) = 0;
};

}  // namespace tessellon
