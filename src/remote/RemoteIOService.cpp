#include "remote/RemoteIOService.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "core/Async.h"
#include "core/CancelToken.h"
#include "core/Log.h"
#include "futures/FuturesError.h"
#include "remote/HostAnswerCheck.h"
#include "remote/HostDownload.h"
#include "remote/HostRequest.h"
#include "remote/OpenWrites.h"

namespace tessellon {
namespace {

template <class T>
using Request = std::shared_ptr<HostRequest<T>>;

// Calls the host; a host that throws fails the request instead of the caller.
template <class T, class Call>
void callHost(const Request<T>& request, Call&& call) {
  try {
    call();
  } catch (...) {
    request->hostThrew(errorFromException(std::current_exception()));
  }
}

}  // namespace

RemoteIOService::RemoteIOService(
    std::shared_ptr<BackupSDKDelegate> delegate,
    std::shared_ptr<FileIOServiceProtocol> fileIOService, std::shared_ptr<LoggerProtocol> logger,
    std::shared_ptr<SingleFileTransferStateReporter> fileTransferReporter,
    std::string downloadFolder, std::chrono::milliseconds requestTimeout,
    std::vector<std::string> userFolders, std::vector<std::string> hostFolders)
    : delegate_(std::move(delegate)),
      fileIOService_(std::move(fileIOService)),
      logger_(std::move(logger)),
      fileTransferReporter_(std::move(fileTransferReporter)),
      requestTimeout_(requestTimeout),
      downloads_(
          std::make_shared<const HostDownload>(fileIOService_, logger_, std::move(downloadFolder),
                                               std::move(userFolders), std::move(hostFolders))),
      writes_(std::make_shared<OpenWrites>()) {}

template <class T>
std::shared_ptr<HostRequest<T>> RemoteIOService::startRequest(
    std::string what, BackupSDKError timeoutCode, const std::shared_ptr<CancelToken>& cancelToken,
    int64_t scale) {
  const auto limit = requestTimeout_ > std::chrono::milliseconds::max() / scale
                         ? std::chrono::milliseconds::max()
                         : requestTimeout_ * scale;
  auto request = HostRequest<T>::start(std::move(what), limit, timeoutCode, logger_);
  request->watch(cancelToken);
  return request;
}

template <class T>
std::shared_ptr<HostRequest<T>> RemoteIOService::startWrite(
    std::string what, BackupSDKError timeoutCode, const std::shared_ptr<CancelToken>& cancelToken,
    int64_t scale) {
  auto request = startRequest<T>(std::move(what), timeoutCode, cancelToken, scale);
  request->onHostDone(writes_->open());
  return request;
}

int64_t RemoteIOService::sizeForUpload(const std::string& localPath) {
  if (fileIOService_) {
    if (auto attributes = fileIOService_->attributesOfItem(localPath); attributes.ok()) {
      return attributes.value().size;
    }
  }
  logWith(logger_, LogLevel::warning, [&] {
    return "Quorro: upload file localPath=" + localPath + " cannot request filesize";
  });
  return 0;
}

Future<Void> RemoteIOService::uploadFile(const std::string& localPath,
                                         const std::string& relativeRemotePath,
                                         std::shared_ptr<CancelToken> cancelToken) {
  if (isCancelled(cancelToken)) return Future<Void>::cancelled();
  logWith(logger_, LogLevel::debug, [&] {
    return "Quorro: upload file localPath=" + localPath +
           " remotePath(relative)=" + relativeRemotePath;
  });
  fileTransferReporter_->setFileSize(sizeForUpload(localPath));
  return sendFile(
      localPath, relativeRemotePath,
      [reporter = fileTransferReporter_](const TransferProgress& progress) {
        reporter->reportFractionalProgressOnBackup(progress);
      },
      cancelToken);
}

Future<Void> RemoteIOService::uploadFileInternal(const std::string& localPath,
                                                 const std::string& relativeRemotePath,
                                                 ProgressReport progressReport,
                                                 std::shared_ptr<CancelToken> cancelToken) {
  if (isCancelled(cancelToken)) return Future<Void>::cancelled();
  logWith(logger_, LogLevel::debug, [&] {
    return "Quorro: upload file localPath=" + localPath +
           " remotePath(relative)=" + relativeRemotePath;
  });
  return sendFile(localPath, relativeRemotePath, std::move(progressReport), cancelToken);
}

Future<Void> RemoteIOService::sendFile(const std::string& localPath,
                                       const std::string& relativeRemotePath,
                                       ProgressReport progressReport,
                                       const std::shared_ptr<CancelToken>& cancelToken) {
  auto request = startWrite<Void>("upload of " + relativeRemotePath,
                                  BackupSDKError::fileIOFailedToUploadFile, cancelToken);
  callHost(request, [&] {
    request->keepTransfer(delegate_->uploadFile(
        localPath, relativeRemotePath, request->progress(std::move(progressReport)),
        [request](std::optional<Error> error) {
          request->onAnswer([request, error = std::move(error)] {
            if (error) return request->fail(*error);
            request->succeed(Void{});
          });
        }));
  });
  return request->future();
}

Future<bool> RemoteIOService::uploadFileIfAbsent(const std::string& localPath,
                                                 const std::string& relativeRemotePath,
                                                 std::shared_ptr<CancelToken> cancelToken) {
  if (isCancelled(cancelToken)) return Future<bool>::cancelled();
  logWith(logger_, LogLevel::debug, [&] {
    return "Quorro: upload file if absent localPath=" + localPath +
           " remotePath(relative)=" + relativeRemotePath;
  });
  auto request = startWrite<bool>("upload if absent of " + relativeRemotePath,
                                  BackupSDKError::fileIOFailedToUploadFile, cancelToken);
  callHost(request, [&] {
    delegate_->uploadFileIfAbsent(
        localPath, relativeRemotePath, [request](bool created, std::optional<Error> error) {
          request->onAnswer([request, created, error = std::move(error)] {
            // The locks rely on this answer: a file both made and failed is neither.
            if (created && error) {
              return request->refuse(BackupSDKError::fileIOFailedToUploadFile,
                                     "says the file was made and failed: " + error->message);
            }
            if (error) return request->fail(*error);
            request->succeed(created);
          });
        });
  });
  return request->future();
}

Future<std::string> RemoteIOService::downloadFile(const std::string& relativeRemotePath,
                                                  std::shared_ptr<CancelToken> cancelToken) {
  return downloadFileInternal(relativeRemotePath, nullptr, std::move(cancelToken));
}

Future<std::string> RemoteIOService::downloadFile(const std::string& relativeRemotePath,
                                                  int64_t fileSizeBytes,
                                                  std::shared_ptr<CancelToken> cancelToken) {
  // Several downloads may run at once; each reports its own bytes until it has ended.
  const uint64_t transfer = fileTransferReporter_->beginTransferOnRestore(fileSizeBytes);
  Future<std::string> downloaded = downloadFileInternal(
      relativeRemotePath,
      [reporter = fileTransferReporter_, transfer](const TransferProgress& progress) {
        reporter->reportTransferProgressOnRestore(transfer, progress);
      },
      std::move(cancelToken));
  downloaded.onComplete(Executor::immediate(), [reporter = fileTransferReporter_,
                                                transfer](const FutureResult<std::string>&) {
    reporter->endTransferOnRestore(transfer);
  });
  return downloaded;
}

Future<std::string> RemoteIOService::downloadFileInternal(
    const std::string& relativeRemotePath, ProgressReport progressReport,
    std::shared_ptr<CancelToken> cancelToken) {
  if (isCancelled(cancelToken)) return Future<std::string>::cancelled();
  logWith(logger_, LogLevel::debug,
          [&] { return "Quorro: download file remotePath(relative)=" + relativeRemotePath; });
  auto request = startRequest<std::string>("download of " + relativeRemotePath,
                                           BackupSDKError::delegateFileDownloadFailed, cancelToken);
  callHost(request, [&] {
    request->keepTransfer(delegate_->downloadFile(
        relativeRemotePath, request->progress(std::move(progressReport)),
        [request, downloads = downloads_, relativeRemotePath](std::optional<std::string> path,
                                                              std::optional<BackupSDKError> error) {
          request->onAnswer(
              [request, downloads, relativeRemotePath, path = std::move(path), error] {
                downloads->finish(*request, relativeRemotePath, path, error);
              });
        }));
  });
  return request->future();
}

Future<bool> RemoteIOService::readFile(const std::string& relativeRemotePath,
                                       std::function<bool(const char* data, size_t size)> consume,
                                       std::shared_ptr<CancelToken> cancelToken) {
  if (isCancelled(cancelToken)) return Future<bool>::cancelled();
  logWith(logger_, LogLevel::debug,
          [&] { return "Quorro: read file remotePath(relative)=" + relativeRemotePath; });
  auto request = startRequest<bool>("read of " + relativeRemotePath,
                                    BackupSDKError::delegateFileDownloadFailed, cancelToken);
  // Bytes count as progress: a long stream is not a silent host.
  auto alive = request->progress(nullptr);
  callHost(request, [&] {
    std::shared_ptr<CancellationDelegate> transfer = delegate_->readFile(
        relativeRemotePath,
        [consume = std::move(consume), alive](const char* data, size_t size) {
          alive(TransferProgress{});
          return consume(data, size);
        },
        [request](std::optional<BackupSDKError> error) {
          request->onAnswer([request, error] {
            if (error) return request->fail(makeError(*error));
            request->succeed(true);
          });
        });
    if (transfer) return request->keepTransfer(std::move(transfer));
    // No handle: the host does not stream, and never calls back.
    request->onAnswer([request] { request->succeed(false); });
  });
  return request->future();
}

Future<Void> RemoteIOService::createDirectory(const std::string& relativeRemotePath,
                                              std::shared_ptr<CancelToken> cancelToken) {
  logWith(logger_, LogLevel::debug,
          [&] { return "Quorro: create directory remotePath(relative)=" + relativeRemotePath; });
  auto request = startWrite<Void>("creation of folder " + relativeRemotePath,
                                  BackupSDKError::delegateDirectoryCreationFailed, cancelToken);
  callHost(request, [&] {
    delegate_->createDirectory(
        relativeRemotePath, [request](bool alreadyExists, std::optional<Error> error) {
          request->onAnswer([request, alreadyExists, error = std::move(error)] {
            if (alreadyExists) {
              return request->fail(makeError(BackupSDKError::delegateDirectoryExist));
            }
            if (error) return request->fail(*error);
            request->succeed(Void{});
          });
        });
  });
  return request->future();
}

Future<Void> RemoteIOService::deleteFile(const std::string& relativeRemotePath,
                                         std::shared_ptr<CancelToken> cancelToken) {
  logWith(logger_, LogLevel::debug,
          [&] { return "Quorro: delete file remotePath(relative)=" + relativeRemotePath; });
  auto request = startWrite<Void>("deletion of " + relativeRemotePath,
                                  BackupSDKError::delegateDeleteFileFailed, cancelToken);
  callHost(request, [&] {
    delegate_->deleteFile(relativeRemotePath, [request](bool deleted, std::optional<Error> error) {
      request->onAnswer([request, deleted, error = std::move(error)] {
        if (deleted && error) {
          return request->refuse(BackupSDKError::delegateDeleteFileFailed,
                                 "says deleted and failed: " + error->message);
        }
        if (error) return request->fail(*error);
        if (!deleted) {
          return request->refuse(BackupSDKError::delegateDeleteFileFailed,
                                 "says nothing was deleted, without an error");
        }
        request->succeed(Void{});
      });
    });
  });
  return request->future();
}

Future<std::shared_ptr<const Directory>> RemoteIOService::getDirectoryInfo(
    const std::string& relativeRemotePath, std::shared_ptr<CancelToken> cancelToken) {
  logWith(logger_, LogLevel::debug,
          [&] { return "Quorro: get directory info remotePath(relative)=" + relativeRemotePath; });
  auto request = startRequest<std::shared_ptr<const Directory>>(
      "listing of " + (relativeRemotePath.empty() ? std::string("the root") : relativeRemotePath),
      BackupSDKError::delegateDirectoryInfoFailed, cancelToken);
  callHost(request, [&] {
    delegate_->getDirectoryInfo(relativeRemotePath, [request, logger = logger_, relativeRemotePath](
                                                        std::optional<Directory> directory,
                                                        std::optional<Error> error) {
      request->onAnswer([request, logger, relativeRemotePath, directory = std::move(directory),
                         error = std::move(error)]() mutable {
        if (directory && error) {
          return request->refuse(BackupSDKError::delegateDirectoryInfoFailed,
                                 "carries both a listing and an error: " + error->message);
        }
        if (error) return request->fail(*error);
        if (!directory) {
          return request->refuse(BackupSDKError::delegateDirectoryInfoFailed,
                                 "carries neither a listing nor an error");
        }
        if (size_t dropped = HostAnswerCheck::dropUnsafeMembers(*directory, relativeRemotePath)) {
          logWith(logger, LogLevel::warning, [&] {
            return "Quorro: ignored " + std::to_string(dropped) + " member(s) of the " +
                   request->what() + " whose names no file of that folder can have";
          });
        }
        request->succeed(std::make_shared<const Directory>(std::move(*directory)));
      });
    });
  });
  return request->future();
}

Future<Void> RemoteIOService::inflateZip(const std::string& remoteSrcPath,
                                         const std::string& remoteDstPath,
                                         std::shared_ptr<CancelToken> cancelToken) {
  logWith(logger_, LogLevel::debug, [&] {
    return "Quorro: inflate zip remoteSrcPath(relative)=" + remoteSrcPath +
           " remoteDestPath=" + remoteDstPath;
  });
  // Inflating ends the archive's upload; a host that never finishes it fails that upload. A host
  // that cannot unpack on the remote sends every member here, and has no progress to report:
  // the limit grows with the archive size it asked for, one limit per 64 MiB.
  constexpr int64_t kBytesPerLimit = int64_t{64} << 20;
  const int64_t scale = std::clamp<int64_t>(delegate_->getZipSize() / kBytesPerLimit, 1, 1024);
  auto request = startWrite<Void>("inflation of " + remoteSrcPath,
                                  BackupSDKError::fileIOFailedToUploadFile, cancelToken, scale);
  callHost(request, [&] {
    delegate_->inflateZip(remoteSrcPath, remoteDstPath, [request](std::optional<Error> error) {
      request->onAnswer([request, error = std::move(error)] {
        if (error) return request->fail(*error);
        request->succeed(Void{});
      });
    });
  });
  return request->future();
}

int64_t RemoteIOService::getZipSize() { return delegate_->getZipSize(); }

uint64_t RemoteIOService::writeMark() { return writes_->mark(); }

Future<bool> RemoteIOService::writesAnswered(uint64_t from, uint64_t to,
                                             std::chrono::milliseconds grace) {
  return writes_->answeredBetween(from, to, grace);
}

}  // namespace tessellon
