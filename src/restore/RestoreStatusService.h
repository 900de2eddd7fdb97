#pragma once

#include <memory>
#include <mutex>

#include "core/FileStatusManager.h"
#include "restore/RestoreStatusServiceProtocol.h"

namespace tessellon {

class RestoreStatusService final : public RestoreStatusServiceProtocol {
 public:
  // `fileStatusManager` may be null: progress is then only counted nowhere.
  explicit RestoreStatusService(std::shared_ptr<FileStatusManager> fileStatusManager);

  Settings restoreSettings() const override;
  void setRestoreSettings(const Settings& settings) override;
  FileStatus increaseFileStatusField(const BackupRecord& backup) const override;
  void updateOverallFileStatus(const BackupRecord& backup) override;
  void updateProgress(int64_t bytes) override;

 private:
  mutable std::mutex mutex_;
  Settings restoreSettings_;
  std::shared_ptr<FileStatusManager> fileStatusManager_;
};

}  // namespace tessellon
