#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "tessellon/LoggerProtocol.h"

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "model/BackupRecord.h"
#include "model/Serializable.h"
#include "model/json/Serializer.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "platform/identity/DeviceUIDServiceProtocol.h"
#include "platform/zip/Zip.h"
#include "platform/zip/ZipServiceProtocol.h"
#include "remote/RemoteIOServiceProtocol.h"

namespace tessellon {

// The archive step every part of a backup shares: documents written into an archive built in the
// run's private folder as "<uid>.zip", which the remote receives as "<uid>/<uid>.zip" and inflates
// into "<uid>/", so entry names are relative to the device folder. One per backup service; the
// categories use it one after another.
class ArchiveUploader {
 public:
  struct Collaborators {
    std::shared_ptr<FileIOServiceProtocol> fileIOService;
    std::shared_ptr<ZipServiceProtocol> zipService;
    std::shared_ptr<RemoteIOServiceProtocol> remoteIOService;
    std::shared_ptr<DeviceUIDServiceProtocol> deviceUidService;
    std::shared_ptr<Serializer> serializer;
    std::shared_ptr<LoggerProtocol> logger;
    // The private folder of the run's files.
    std::string temporaryDirectory;
  };

  explicit ArchiveUploader(Collaborators collaborators);
  ArchiveUploader(const ArchiveUploader&) = delete;
  ArchiveUploader& operator=(const ArchiveUploader&) = delete;

  // The device identifier, asked once.
  std::string uid();
  std::string temporaryPath(const std::string& name) const;
  // "<tmp>/<uid>.zip"; "<tmp>/<uid>-2.zip" for the second of two archives that exist at once
  // (one on its way while the next is packed).
  std::string zipPath(bool second = false);
  // A new archive at zipPath(), replacing the previous one; null (logged, and failing every
  // append) when the temporary folder is not a private folder of ours.
  std::shared_ptr<Zip> newArchive();
  // The same at `path`, one of zipPath's.
  std::shared_ptr<Zip> newArchive(const std::string& path);

  // Writes `metaData` to "<tmp>/<fileName>" and appends it under `fileName`, leaving the archive
  // open.
  Future<Void> appendMetaJson(const std::shared_ptr<Zip>& zip, const Serializable& metaData,
                              const std::string& fileName);
  // The same for a document already serialized as `text`.
  Future<Void> appendDocument(const std::shared_ptr<Zip>& zip, std::string text,
                              const std::string& fileName);
  // Stamps the modification date, writes "<tmp>/backup.json" and appends it as the archive's last
  // entry.
  Future<Void> appendBackupJson(const std::shared_ptr<Zip>& zip, BackupRecord& backup);
  // Uploads the archive at `localZip` (zipPath() by default) as "<uid>/<uid>.zip" and has it
  // inflated into "<uid>". A full remote (507) requests the remote archive's deletion, cancels the
  // run and fails with 319. While the host has not answered the upload or inflation of the
  // archive before (it timed out), nothing is sent and this fails: that archive may still land,
  // and its documents would then replace the later ones.
  Future<Void> uploadAndInflate(const std::shared_ptr<CancelToken>& cancelToken);
  Future<Void> uploadAndInflate(const std::shared_ptr<CancelToken>& cancelToken,
                                const std::string& localZip);
  // Fire and forget: the run does not wait for temporary files to go.
  void deleteTemporaryFile(const std::string& name);
  // The same for the file at `path`.
  void deleteLocal(const std::string& path);
  const std::shared_ptr<FileIOServiceProtocol>& files() const { return files_; }

 private:
  Future<Void> writeBackupMetaData(const BackupRecord& backup);
  Future<Void> appendToZip(const std::shared_ptr<Zip>& zip, const std::string& fileName,
                           bool close);
  // The outcome of appending `fileName`; a failure is logged.
  Future<Void> appended(const Result<void>& result, const std::string& fileName);

  const std::shared_ptr<FileIOServiceProtocol> files_;
  const std::shared_ptr<ZipServiceProtocol> zips_;
  const std::shared_ptr<RemoteIOServiceProtocol> remote_;
  const std::shared_ptr<DeviceUIDServiceProtocol> deviceUid_;
  const std::shared_ptr<Serializer> serializer_;
  const std::shared_ptr<LoggerProtocol> logger_;
  const std::string temporaryDirectory_;
  std::once_flag uidOnce_;
  std::string uid_;
  // The write marks of the last archive's transfer, [from, to); shared with the transfer's
  // continuation, which may outlive this.
  struct LastTransfer {
    std::mutex mutex;
    uint64_t from = 0;
    uint64_t to = 0;
  };
  const std::shared_ptr<LastTransfer> lastTransfer_ = std::make_shared<LastTransfer>();
};

// Whether a step ended cancelled, or failed with an error that means cancellation.
bool endedCancelled(const FutureResult<Void>& result);

}  // namespace tessellon
