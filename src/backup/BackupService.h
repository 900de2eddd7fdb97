#pragma once

#include <memory>
#include <mutex>

#include "backup/BackupCalendarsMetaDataServiceProtocol.h"
#include "backup/BackupContactsMetaDataServiceProtocol.h"
#include "backup/BackupImageMetaDataServiceProtocol.h"
#include "backup/BackupServiceProtocol.h"
#include "backup/BackupVideoMetaDataServiceProtocol.h"
#include "backup/BaseBackupService.h"
#include "backup/CleanupServiceProtocol.h"

namespace tessellon {

// Runs a backup: the device's remote folders, then contacts, calendars, images
// and videos strictly one after another (each category leaves the remote backup
// consistent), a last archive with the finish date, then the clean-up.
class BackupService final : public BaseBackupService, public BackupServiceProtocol {
 public:
  BackupService(Collaborators collaborators,
                std::shared_ptr<BackupVideoMetaDataServiceProtocol> videoMetaDataService,
                std::shared_ptr<BackupImageMetaDataServiceProtocol> imageMetaDataService,
                std::shared_ptr<BackupContactsMetaDataServiceProtocol> contactMetaDataService,
                std::shared_ptr<BackupCalendarsMetaDataServiceProtocol> calendarMetaDataService,
                std::shared_ptr<CleanupServiceProtocol> cleanupService);

  Future<std::shared_ptr<ProcessReport>> process(std::shared_ptr<Backup> backup,
                                                 std::shared_ptr<CancelToken> cancelToken) override;
  Future<Void> lastCleanup() const override;

 private:
  void calcOverallFileStatus(const Backup& backup, const Backup& taskList);
  Future<Void> createFolderStructure(std::shared_ptr<CancelToken> cancelToken);
  Future<Void> processAll(std::shared_ptr<Backup> backup, std::shared_ptr<CancelToken> cancelToken);

  std::shared_ptr<BackupVideoMetaDataServiceProtocol> videoMetaDataService_;
  std::shared_ptr<BackupImageMetaDataServiceProtocol> imageMetaDataService_;
  std::shared_ptr<BackupContactsMetaDataServiceProtocol> contactMetaDataService_;
  std::shared_ptr<BackupCalendarsMetaDataServiceProtocol> calendarMetaDataService_;
  std::shared_ptr<CleanupServiceProtocol> cleanupService_;
  mutable std::mutex cleanupMutex_;
  Future<Void> lastCleanup_ = Future<Void>::success(Void{});
};

}  // namespace tessellon
