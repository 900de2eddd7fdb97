#pragma once

#include <memory>

#include "backup/BackupInformationCollectorProtocol.h"
#include "model/json/Serializer.h"
#include "model/loading/Migrations.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "remote/RemoteIOServiceProtocol.h"

namespace tessellon {

// Lists the backups of every device on the remote, for the host's list and
// the restore. Reads one device folder at a time.
class BackupInformationCollector final : public BackupInformationCollectorProtocol {
 public:
  // Attempts at downloading one "backup.json" before that folder is skipped.
  static constexpr int kDownloadAttempts = 3;

  BackupInformationCollector(std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
                             std::shared_ptr<FileIOServiceProtocol> fileIOService,
                             std::shared_ptr<Serializer> serializer,
                             std::shared_ptr<Migrations> migrations);
  BackupInformationCollector(const BackupInformationCollector&) = delete;
  BackupInformationCollector& operator=(const BackupInformationCollector&) = delete;

  Future<std::vector<std::shared_ptr<BackupRecord>>> getAllBackups(
      std::shared_ptr<CancelToken> cancelToken) override;

 private:
  // The folder's record, or null when its "backup.json" cannot be had or read.
  Future<std::shared_ptr<BackupRecord>> readBackup(
      const Member& folder, int attempt, const std::shared_ptr<CancelToken>& cancelToken) const;
  std::shared_ptr<BackupRecord> parse(const std::string& text) const;

  // The three may be null: without them nothing can be listed or read.
  const std::shared_ptr<RemoteIOServiceProtocol> remoteIOService_;
  const std::shared_ptr<FileIOServiceProtocol> fileIOService_;
  const std::shared_ptr<Serializer> serializer_;
  const std::shared_ptr<Migrations> migrations_;
};

}  // namespace tessellon
