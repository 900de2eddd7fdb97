#pragma once

#include <memory>
#include <vector>

#include "tessellon/LoggerProtocol.h"

#include "backup/ArchiveUploader.h"
#include "backup/BackupServiceProtocol.h"
#include "backup/CategoryBackup.h"
#include "backup/CleanupServiceProtocol.h"
#include "core/FileStatusManager.h"
#include "remote/RemoteIOServiceProtocol.h"

namespace tessellon {

// Runs a backup: the device's remote folders, then its categories (contacts,
// calendars, images and videos) strictly one after another (each category leaves the remote backup
// consistent), a last archive with the finish date, then the clean-up, which the
// run awaits.
//
// The contract every step keeps, whatever fails or is cancelled:
//  1. An item is in a stored record only once its bytes are on the remote under
//     the name the record gives it (category folder, fingerprint, extension),
//     with the recorded size: a record travels in the same archive as the files
//     it adds, and each category starts by checking the record against one
//     listing of its folder.
//  2. A finished backup restored into an empty home gives back every file it
//     saw, byte for byte, with its modification time (restore checks each file's
//     size and checksum before placing it).
//  3. A backup never changes a local file; a restore never overwrites one.
//  4. Nothing a stored record references is deleted from the remote: the
//     clean-up removes only what the record just stored no longer names, runs
//     inside the operation, and removes nothing while a damaged record is rebuilt.
class BackupService final : public BackupServiceProtocol {
 public:
  // `categories` run in their order.
  BackupService(std::shared_ptr<ArchiveUploader> archives,
                std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
                std::shared_ptr<FileStatusManager> fileStatusManager,
                std::shared_ptr<LoggerProtocol> logger,
                std::vector<std::shared_ptr<CategoryBackup>> categories,
                std::shared_ptr<CleanupServiceProtocol> cleanupService);

  Future<std::shared_ptr<ProcessReport>> process(std::shared_ptr<BackupRecord> backup,
                                                 std::shared_ptr<CancelToken> cancelToken) override;

 private:
  void calcOverallFileStatus(const BackupRecord& backup, const BackupRecord& taskList);
  void claimOnlyWhatIsStored(BackupRecord& backup);
  // The record as the clean-up may act on it.
  std::shared_ptr<BackupRecord> cleanupView(const BackupRecord& backup,
                                            const ProcessReport& report) const;
  Future<Void> createFolderStructure(const std::shared_ptr<CancelToken>& cancelToken);
  Future<Void> processAll(const std::shared_ptr<BackupRecord>& backup,
                          const std::shared_ptr<ProcessReport>& report,
                          const std::shared_ptr<CancelToken>& cancelToken);
  // The categories from `next` on, each section into `report`.
  Future<Void> runCategories(size_t next, const std::shared_ptr<BackupRecord>& backup,
                             const std::shared_ptr<ProcessReport>& report,
                             const std::shared_ptr<CancelToken>& cancelToken);

  const std::shared_ptr<ArchiveUploader> archives_;
  const std::shared_ptr<RemoteIOServiceProtocol> remoteIOService_;
  const std::shared_ptr<FileStatusManager> fileStatusManager_;
  const std::shared_ptr<LoggerProtocol> logger_;
  const std::vector<std::shared_ptr<CategoryBackup>> categories_;
  const std::shared_ptr<CleanupServiceProtocol> cleanupService_;
};

}  // namespace tessellon
