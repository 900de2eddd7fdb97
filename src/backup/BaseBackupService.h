#pragma once

#include <memory>
#include <optional>
#include <string>

#include "tessellon/Backup.h"
#include "tessellon/LoggerProtocol.h"
#include "tessellon/ProcessReport.h"
#include "tessellon/Serializable.h"

#include "backup/MetaType.h"
#include "core/CancelToken.h"
#include "core/FileStatusManager.h"
#include "futures/Future.h"
#include "media/caches/CachingService.h"
#include "model/json/Serializer.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "platform/identity/DeviceUIDServiceProtocol.h"
#include "platform/zip/Zip.h"
#include "platform/zip/ZipServiceProtocol.h"
#include "remote/RemoteIOServiceProtocol.h"

namespace tessellon {

// What the backup orchestrator and the category services share: the device
// folder's name, the run's temporary files, writing documents into an archive
// and the upload-then-inflate step. Each archive is built in the temporary
// folder as "<uid>.zip" and inflated by the remote into "<uid>/", so its entry
// names are relative to the device folder.
class BaseBackupService {
 public:
  struct Collaborators {
    std::shared_ptr<FileIOServiceProtocol> fileIOService;
    std::shared_ptr<ZipServiceProtocol> zipService;
    std::shared_ptr<RemoteIOServiceProtocol> remoteIOService;
    std::shared_ptr<DeviceUIDServiceProtocol> deviceUidService;
    std::shared_ptr<CachingService> cachingService;
    std::shared_ptr<Serializer> serializer;
    std::shared_ptr<LoggerProtocol> logger;
    std::shared_ptr<FileStatusManager> fileStatusManager;
    // The private folder of the run's files.
    std::string temporaryDirectory;
  };

  explicit BaseBackupService(Collaborators collaborators);
  virtual ~BaseBackupService() = default;
  BaseBackupService(const BaseBackupService&) = delete;
  BaseBackupService& operator=(const BaseBackupService&) = delete;

  // The device identifier, asked once.
  std::string uid();

  // Writes `metaData` to "<tmp>/<fileName>" and appends it under `fileName`,
  // leaving the archive open.
  Future<Void> appendMetaJson(const std::shared_ptr<Zip>& zip, const Serializable& metaData,
                              const std::string& fileName);
  // The same for a document already serialized as `text`.
  Future<Void> appendDocument(const std::shared_ptr<Zip>& zip, std::string text,
                              const std::string& fileName);
  // Stamps the modification date, writes "<tmp>/backup.json" and appends it as
  // the archive's last entry.
  Future<Void> appendBackupJson(const std::shared_ptr<Zip>& zip, Backup& backup);
  Future<Void> writeBackupMetaData(const Backup& backup);
  // Uploads "<tmp>/<uid>.zip" as "<uid>/<uid>.zip" and has it inflated into
  // "<uid>". A full remote (507) requests the remote archive's deletion, cancels
  // the run and fails with 319.
  Future<Void> uploadZipAndInflate(std::shared_ptr<CancelToken> cancelToken);
  // The same for the archive at `localZip`.
  Future<Void> uploadZipAndInflate(std::shared_ptr<CancelToken> cancelToken,
                                   const std::string& localZip);

 protected:
  // A new archive at "<tmp>/<uid>.zip", replacing the previous one; null (logged, and failing
  // every append) when the temporary folder is not a private folder of ours.
  std::shared_ptr<Zip> generateZip();
  // The same at `path`, one of zipPath's.
  std::shared_ptr<Zip> generateZip(const std::string& path);
  std::string temporaryPath(const std::string& name) const;
  // "<tmp>/<uid>.zip"; "<tmp>/<uid>-2.zip" for the second of two archives that exist at once
  // (one on its way while the next is packed).
  std::string zipPath(bool second = false);
  // Adds to currentProcessReport.
  void addToReport(bool success, MetaType media, int count, int64_t bytes);
  // Fire and forget: the run does not wait for temporary files to go.
  void deleteTemporaryFile(const std::string& name);

  std::shared_ptr<FileIOServiceProtocol> fileIOService;
  std::shared_ptr<ZipServiceProtocol> zipService;
  std::shared_ptr<RemoteIOServiceProtocol> remoteIOService;
  std::shared_ptr<DeviceUIDServiceProtocol> deviceUidService;
  std::shared_ptr<CachingService> cachingService;
  std::shared_ptr<Serializer> serializer;
  std::shared_ptr<LoggerProtocol> logger;
  std::shared_ptr<FileStatusManager> fileStatusManager;
  std::shared_ptr<ProcessReport> currentProcessReport;

 private:
  Future<Void> appendToZip(const std::shared_ptr<Zip>& zip, const std::string& fileName,
                           bool close);
  // The outcome of appending `fileName`; a failure is logged.
  Future<Void> appended(const Result<void>& result, const std::string& fileName);

  std::string temporaryDirectory_;
  std::optional<std::string> uid_;
};

// Whether a step ended cancelled, or failed with an error that means cancellation.
bool endedCancelled(const FutureResult<Void>& result);

}  // namespace tessellon
