#include "backup/BaseBackupService.h"

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

Date now() {
  return std::chrono::time_point_cast<std::chrono::milliseconds>(std::chrono::system_clock::now());
}

}  // namespace

bool endedCancelled(const FutureResult<Void>& result) {
  return result.isCancelled() || (result.isFail() && testForCancellation(result.failure()));
}

BaseBackupService::BaseBackupService(Collaborators collaborators)
    : fileIOService(std::move(collaborators.fileIOService)),
      zipService(std::move(collaborators.zipService)),
      remoteIOService(std::move(collaborators.remoteIOService)),
      deviceUidService(std::move(collaborators.deviceUidService)),
      cachingService(std::move(collaborators.cachingService)),
      serializer(std::move(collaborators.serializer)),
      logger(std::move(collaborators.logger)),
      fileStatusManager(std::move(collaborators.fileStatusManager)),
      temporaryDirectory_(std::move(collaborators.temporaryDirectory)) {}

std::string BaseBackupService::uid() {
  if (!uid_) uid_ = deviceUidService->getUID();
  return *uid_;
}

std::string BaseBackupService::temporaryPath(const std::string& name) const {
  return PathUtils::combinePath({temporaryDirectory_, name});
}

std::string BaseBackupService::zipPath(bool second) {
  return temporaryPath(uid() + (second ? "-2.zip" : ".zip"));
}

std::shared_ptr<Zip> BaseBackupService::generateZip() { return generateZip(zipPath()); }

std::shared_ptr<Zip> BaseBackupService::generateZip(const std::string& path) {
  // The run's folder is private; making sure of it here also covers a folder
  // that was removed since the last run.
  Result<void> privateFolder = fileIOService->createDirectory(temporaryDirectory_, true);
  if (!privateFolder.ok()) {
    // No archive at all rather than one in a folder someone else controls: every append to it
    // then fails, and so does the run.
    logWith(logger, LogLevel::error,
            [&] { return "cannot make an archive: " + nsErrorDescription(privateFolder.error()); });
    return nullptr;
  }
  return zipService->generateZip(path);
}

void BaseBackupService::addToReport(bool success, MetaType media, int count, int64_t bytes) {
  const ProcessReport base = currentProcessReport ? *currentProcessReport : ProcessReport();
  currentProcessReport =
      std::make_shared<ProcessReport>(tessellon::addToReport(base, success, media, count, bytes));
}

void BaseBackupService::deleteTemporaryFile(const std::string& name) {
  (void)fileIOService->deleteItem(temporaryPath(name));
}

Future<Void> BaseBackupService::appendToZip(const std::shared_ptr<Zip>& zip,
                                            const std::string& fileName, bool close) {
  return appended(zipService->append(zip, temporaryPath(fileName), fileName, close), fileName);
}

Future<Void> BaseBackupService::appended(const Result<void>& result, const std::string& fileName) {
  if (result.ok()) return Future<Void>::success(Void{});
  logWith(logger, LogLevel::warning, [&] {
    return "error appending " + fileName + " to ZIP: (" + nsErrorDescription(result.error()) + ")";
  });
  return Future<Void>::fail(result.error());
}

Future<Void> BaseBackupService::appendMetaJson(const std::shared_ptr<Zip>& zip,
                                               const Serializable& metaData,
                                               const std::string& fileName) {
  Result<std::string> text = serializer->serialize(metaData);
  if (!text.ok()) return Future<Void>::fail(text.error());
  return appendDocument(zip, std::move(text).value(), fileName);
}

Future<Void> BaseBackupService::appendDocument(const std::shared_ptr<Zip>& zip, std::string text,
                                               const std::string& fileName) {
  auto document = std::make_shared<const std::string>(std::move(text));
  // A pool thread writes the file while the archive takes the same text here, so deflating a
  // large document neither waits for the file system nor reads the file back. The outcome is the
  // one of writing first and appending the file after: a failed write fails the step with its own
  // error, and the caller rolls back an archive whose document step failed.
  Future<Void> written = Future<Void>::success(Void{}).onSuccess(
      Executor::defaultQoS(), [files = fileIOService, path = temporaryPath(fileName), document] {
        return files->write(path, *document);
      });
  Result<void> added = zipService->appendContent(zip, *document, fileName, false);
  return written.onSuccess(
      [this, added = std::move(added), fileName] { return appended(added, fileName); });
}

Future<Void> BaseBackupService::appendBackupJson(const std::shared_ptr<Zip>& zip, Backup& backup) {
  backup.modificationDate = now();
  return writeBackupMetaData(backup).onSuccess(
      [this, zip] { return appendToZip(zip, "backup.json", true); });
}

Future<Void> BaseBackupService::writeBackupMetaData(const Backup& backup) {
  Result<std::string> text = serializer->serialize(backup);
  if (!text.ok()) {
    logWith(logger, LogLevel::warning,
            [&] { return "error serializing backup.json: " + nsErrorDescription(text.error()); });
    return Future<Void>::fail(text.error());
  }
  return fileIOService->write(temporaryPath("backup.json"), text.value());
}

Future<Void> BaseBackupService::uploadZipAndInflate(std::shared_ptr<CancelToken> cancelToken) {
  return uploadZipAndInflate(std::move(cancelToken), zipPath());
}

Future<Void> BaseBackupService::uploadZipAndInflate(std::shared_ptr<CancelToken> cancelToken,
                                                    const std::string& localZip) {
  const std::string device = uid();
  const std::string remoteZip = device + "/" + device + ".zip";
  auto remote = remoteIOService;
  return remote->uploadFile(localZip, remoteZip, cancelToken)
      .onSuccess([remote, remoteZip, device, cancelToken] {
        return remote->inflateZip(remoteZip, device, cancelToken);
      })
      .onComplete([remote, remoteZip, cancelToken](const FutureResult<Void>& result) {
        if (!result.isFail() || asNSError(result.failure()).code != kInsufficientStorage) {
          return result;
        }
        // No further archive can land: stop the whole run.
        (void)remote->deleteFile(remoteZip, nullptr);
        if (cancelToken) (void)cancelToken->cancel();
        return FutureResult<Void>::fail(
            makeError(BackupSDKError::mediaNotEnoughRemoteStorage, "the remote storage is full"));
      });
}

}  // namespace tessellon
