#include "backup/ArchiveUploader.h"

#include <chrono>
#include <memory>
#include <utility>

#include "tessellon/BackupSDKError.h"

#include "core/HostError.h"
#include "core/Log.h"
#include "core/PathUtils.h"
#include "futures/Executor.h"
#include "futures/FuturesError.h"

namespace tessellon {
namespace {

constexpr int kInsufficientStorage = static_cast<int>(APIErrorCodes::InsufficientStorage);

}  // namespace

bool endedCancelled(const FutureResult<Void>& result) {
  return result.isCancelled() || (result.isFail() && testForCancellation(result.failure()));
}

ArchiveUploader::ArchiveUploader(Collaborators collaborators)
    : files_(std::move(collaborators.fileIOService)),
      zips_(std::move(collaborators.zipService)),
      remote_(std::move(collaborators.remoteIOService)),
      deviceUid_(std::move(collaborators.deviceUidService)),
      serializer_(std::move(collaborators.serializer)),
      logger_(std::move(collaborators.logger)),
      temporaryDirectory_(std::move(collaborators.temporaryDirectory)) {}

std::string ArchiveUploader::uid() {
  std::call_once(uidOnce_, [this] { uid_ = deviceUid_->getUID(); });
  return uid_;
}

std::string ArchiveUploader::temporaryPath(const std::string& name) const {
  return PathUtils::combinePath({temporaryDirectory_, name});
}

std::string ArchiveUploader::zipPath(bool second) {
  return temporaryPath(uid() + (second ? "-2.zip" : ".zip"));
}

std::shared_ptr<Zip> ArchiveUploader::newArchive() { return newArchive(zipPath()); }

std::shared_ptr<Zip> ArchiveUploader::newArchive(const std::string& path) {
  // The run's folder is private; making sure of it here also covers a folder
  // that was removed since the last run.
  Result<void> privateFolder = files_->createDirectory(temporaryDirectory_, true);
  if (!privateFolder.ok()) {
    // No archive at all rather than one in a folder someone else controls: every append to it
    // then fails, and so does the run.
    logWith(logger_, LogLevel::error,
            [&] { return "cannot make an archive: " + nsErrorDescription(privateFolder.error()); });
    return nullptr;
  }
  return zips_->generateZip(path);
}

void ArchiveUploader::deleteTemporaryFile(const std::string& name) {
  deleteLocal(temporaryPath(name));
}

void ArchiveUploader::deleteLocal(const std::string& path) { (void)files_->deleteItem(path); }

Future<Void> ArchiveUploader::appendToZip(const std::shared_ptr<Zip>& zip,
                                          const std::string& fileName, bool close) {
  return appended(zips_->append(zip, temporaryPath(fileName), fileName, close), fileName);
}

Future<Void> ArchiveUploader::appended(const Result<void>& result, const std::string& fileName) {
  if (result.ok()) return Future<Void>::success(Void{});
  logWith(logger_, LogLevel::warning, [&] {
    return "error appending " + fileName + " to ZIP: (" + nsErrorDescription(result.error()) + ")";
  });
  return Future<Void>::fail(result.error());
}

Future<Void> ArchiveUploader::appendMetaJson(const std::shared_ptr<Zip>& zip,
                                             const Serializable& metaData,
                                             const std::string& fileName) {
  Result<std::string> text = serializer_->serialize(metaData);
  if (!text.ok()) return Future<Void>::fail(text.error());
  return appendDocument(zip, std::move(text).value(), fileName);
}

Future<Void> ArchiveUploader::appendDocument(const std::shared_ptr<Zip>& zip, std::string text,
                                             const std::string& fileName) {
  auto document = std::make_shared<const std::string>(std::move(text));
  // A pool thread writes the file while the archive takes the same text here, so deflating a
  // large document neither waits for the file system nor reads the file back. The outcome is the
  // one of writing first and appending the file after: a failed write fails the step with its own
  // error, and the caller rolls back an archive whose document step failed.
  Future<Void> written = Future<Void>::success(Void{}).onSuccess(
      Executor::defaultQoS(), [files = files_, path = temporaryPath(fileName), document] {
        return files->write(path, *document);
      });
  Result<void> added = zips_->appendContent(zip, *document, fileName, false);
  return written.onSuccess(
      [this, added = std::move(added), fileName] { return appended(added, fileName); });
}

Future<Void> ArchiveUploader::appendBackupJson(const std::shared_ptr<Zip>& zip,
                                               BackupRecord& backup) {
  backup.modificationDate = currentDate();
  return writeBackupMetaData(backup).onSuccess(
      [this, zip] { return appendToZip(zip, "backup.json", true); });
}

Future<Void> ArchiveUploader::writeBackupMetaData(const BackupRecord& backup) {
  Result<std::string> text = serializer_->serialize(backup);
  if (!text.ok()) {
    logWith(logger_, LogLevel::warning,
            [&] { return "error serializing backup.json: " + nsErrorDescription(text.error()); });
    return Future<Void>::fail(text.error());
  }
  return files_->write(temporaryPath("backup.json"), text.value());
}

Future<Void> ArchiveUploader::uploadAndInflate(const std::shared_ptr<CancelToken>& cancelToken) {
  return uploadAndInflate(cancelToken, zipPath());
}

Future<Void> ArchiveUploader::uploadAndInflate(const std::shared_ptr<CancelToken>& cancelToken,
                                               const std::string& localZip) {
  const std::string device = uid();
  const std::string remoteZip = device + "/" + device + ".zip";
  auto remote = remote_;
  uint64_t from = 0;
  uint64_t to = 0;
  {
    std::lock_guard lock(lastTransfer_->mutex);
    from = lastTransfer_->from;
    to = lastTransfer_->to;
  }
  // Asked without waiting: the host already let that request's time limit pass.
  const Future<bool> quiet = from == to
                                 ? Future<bool>::success(true)
                                 : remote->writesAnswered(from, to, std::chrono::milliseconds(0));
  return quiet.onSuccess([last = lastTransfer_, remote, localZip, remoteZip, device,
                          cancelToken](bool answered) -> Future<Void> {
    if (!answered) {
      return Future<Void>::fail(makeError(
          BackupSDKError::fileIOFailedToUploadFile,
          "the host has not answered the transfer of the archive before; nothing more is sent "
          "while it may still land in " +
              device));
    }
    const uint64_t start = remote->writeMark();
    return remote->uploadFile(localZip, remoteZip, cancelToken)
        .onSuccess([remote, remoteZip, device, cancelToken] {
          return remote->inflateZip(remoteZip, device, cancelToken);
        })
        .onComplete(
            [last, remote, remoteZip, cancelToken, start](const FutureResult<Void>& result) {
              {
                std::lock_guard lock(last->mutex);
                last->from = start;
                last->to = remote->writeMark();
              }
              if (!result.isFail() || asNSError(result.failure()).code != kInsufficientStorage) {
                return result;
              }
              // No further archive can land: stop the whole run.
              (void)remote->deleteFile(remoteZip, nullptr);
              if (cancelToken) (void)cancelToken->cancel();
              return FutureResult<Void>::fail(makeError(BackupSDKError::mediaNotEnoughRemoteStorage,
                                                        "the remote storage is full"));
            });
  });
}

}  // namespace tessellon
