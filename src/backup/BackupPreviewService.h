#pragma once

#include <memory>
#include <optional>
#include <string>

#include "tessellon/BackupSettings.h"
#include "tessellon/Date.h"
#include "tessellon/LoggerProtocol.h"

#include "backup/BackupPreviewServiceProtocol.h"
#include "backup/CalendarService.h"
#include "backup/OptimizeTaskListService.h"
#include "media/DuplicateCollection.h"
#include "media/ImageServiceProtocol.h"
#include "media/VideoServiceProtocol.h"
#include "media/caches/CachingService.h"
#include "model/json/Serializer.h"
#include "model/loading/MetadataLoader.h"
#include "platform/contacts/ContactRepositoryProtocol.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "platform/identity/DeviceUIDServiceProtocol.h"
#include "remote/RemoteIOServiceProtocol.h"

namespace tessellon {

// Works out what a backup run has to do: collects the local data of the
// selected categories, reads the device's backup on the remote, and returns
// the record as it will be after the run, with the work in
// `taskListToProcess` and its summary in `taskList`. Used by the facade for a
// preview and before a backup; one preview at a time. Reads only: an
// interrupted preview leaves nothing behind but the downloaded copies it had
// not yet deleted from the temporary folder.
class BackupPreviewService final : public BackupPreviewServiceProtocol {
 public:
  // `logger` may be null; `podVersion` is the library's version, for the log.
  BackupPreviewService(std::shared_ptr<CalendarService> calendarService,
                       std::shared_ptr<ContactRepositoryProtocol> contactRepository,
                       std::shared_ptr<VideoServiceProtocol> videoService,
                       std::shared_ptr<ImageServiceProtocol> imageService,
                       std::shared_ptr<DeviceUIDServiceProtocol> deviceUidService,
                       std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
                       std::shared_ptr<DuplicateCollection> duplicateCollection,
                       std::shared_ptr<MetadataLoader> metadataLoader,
                       std::shared_ptr<CachingService> cachingService,
                       std::shared_ptr<FileIOServiceProtocol> fileIOService,
                       std::shared_ptr<Serializer> serializer,
                       std::shared_ptr<OptimizeTaskListService> optimizeTaskListService,
                       std::shared_ptr<LoggerProtocol> logger, std::string podVersion);
  BackupPreviewService(const BackupPreviewService&) = delete;
  BackupPreviewService& operator=(const BackupPreviewService&) = delete;

  Future<std::shared_ptr<BackupRecord>> generateBackup(
      const BackupSettings& settings, std::shared_ptr<CancelToken> cancelToken) override;
  Future<Void> checkStoredUnchanged(const BackupRecord& preview,
                                    std::shared_ptr<CancelToken> cancelToken) override;
  Future<Void> inflateLeftOverArchive(std::shared_ptr<CancelToken> cancelToken) override;

 private:
  // The checksum of the text of "backup.json" as it is downloaded now; none when there is none
  // or it is not text.
  using StoredChecksum = std::shared_ptr<std::optional<std::string>>;
  using BackupFuture = Future<std::shared_ptr<BackupRecord>>;

  // This computer's side; a media file that `remote`'s record describes unchanged is scanned as
  // the recorded item.
  BackupFuture getLocalBackup(const std::string& uid,
                              const std::shared_ptr<const BackupRecord>& remote,
                              const std::shared_ptr<CancelToken>& cancelToken);
  // Each notes the checksum of the stored "backup.json" in `checksum`.
  BackupFuture getRemoteBackup(const std::string& uid, const StoredChecksum& checksum,
                               const std::shared_ptr<CancelToken>& cancelToken);
  BackupFuture getRemoteBackupPreview(const std::string& uid, const StoredChecksum& checksum,
                                      std::shared_ptr<CancelToken> cancelToken);
  BackupFuture parseRemoteBackup(const std::string& localPath, const StoredChecksum& checksum);
  Future<Void> loadRemoteDocuments(const std::shared_ptr<BackupRecord>& remote,
                                   const std::string& uid,
                                   const std::shared_ptr<CancelToken>& cancelToken);
  // The stored record, an empty one when there is none yet or it cannot be read; fails for
  // any other failure.
  BackupFuture handleRemoteBackupResult(
      const FutureResult<std::shared_ptr<BackupRecord>>& remoteResult,
      const std::shared_ptr<CancelToken>& cancelToken);
  // Whether the device folder holds more than a run's lock: with no "backup.json", what a backup
  // stored there has lost its record. A folder that could not be listed but that the root lists
  // is listed once more (`again`): another run may have made it in between.
  Future<bool> holdsStoredFiles(const std::string& uid, bool again,
                                const std::shared_ptr<CancelToken>& cancelToken);
  BackupFuture calculateBackupDelta(const std::shared_ptr<BackupRecord>& remote,
                                    const std::shared_ptr<BackupRecord>& local, Date startTime,
                                    const std::shared_ptr<CancelToken>& cancelToken);
  void setupCachingService(const BackupRecord& remote);
  std::shared_ptr<BackupRecord> finalizeGenerateBackup(
      BackupRecord& remote, const BackupRecord& local, std::shared_ptr<BackupRecord> result,
      const std::shared_ptr<BackupRecord>& taskList, Date startTime);
  std::shared_ptr<BackupRecord> generatePreviewTaskList(const BackupRecord& taskList,
                                                        const BackupRecord& local,
                                                        const BackupRecord& remote,
                                                        const BackupSettings& settings) const;
  void logGenerateBackupResults(const BackupRecord& result) const;

  const std::shared_ptr<LoggerProtocol> logger_;  // may be null
  const std::shared_ptr<CalendarService> calendarService_;
  const std::shared_ptr<ContactRepositoryProtocol> contactRepository_;
  const std::shared_ptr<VideoServiceProtocol> videoService_;
  const std::shared_ptr<ImageServiceProtocol> imageService_;
  const std::string podVersion_;
  const std::shared_ptr<DeviceUIDServiceProtocol> deviceUidService_;
  const std::shared_ptr<RemoteIOServiceProtocol> remoteIOService_;
  const std::shared_ptr<DuplicateCollection> duplicateCollection_;
  const std::shared_ptr<MetadataLoader> metadataLoader_;
  const std::shared_ptr<CachingService> cachingService_;
  const std::shared_ptr<FileIOServiceProtocol> fileIOService_;
  const std::shared_ptr<Serializer> serializer_;
  // The settings of the preview in progress.
  std::optional<BackupSettings> settings_;
  const std::shared_ptr<OptimizeTaskListService> optimizeTaskListService_;
};

}  // namespace tessellon
