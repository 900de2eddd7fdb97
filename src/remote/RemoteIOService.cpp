#include "remote/RemoteIOService.h"

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <optional>
#include <random>
#include <utility>

#include "futures/FuturesError.h"
#include "platform/files/PosixError.h"
#include "platform/files/TemporaryFolderServiceProtocol.h"
#include "sdk/Async.h"
#include "sdk/CancelToken.h"
#include "sdk/Log.h"

namespace tessellon {
namespace {

// One request in flight: its promise and, while the host transfers, the host's
// handle for aborting it.
template <class T>
class PendingRequest {
 public:
  Promise<T> promise;

  void keepTransfer(std::shared_ptr<CancellationDelegate> transfer) {
    std::lock_guard lock(mutex_);
    // The host may have answered before its call returned the handle.
    if (!answered_) transfer_ = std::move(transfer);
  }
  void markAnswered() {
    std::lock_guard lock(mutex_);
    answered_ = true;
    transfer_.reset();
  }
  std::shared_ptr<CancellationDelegate> takeTransfer() {
    std::lock_guard lock(mutex_);
    return std::move(transfer_);
  }

 private:
  std::mutex mutex_;
  bool answered_ = false;
  std::shared_ptr<CancellationDelegate> transfer_;
};

template <class T>
using Request = std::shared_ptr<PendingRequest<T>>;

// Cancelling the token aborts the host's transfer, if one runs, and completes
// the future as cancelled on the background queue, whether or not the host
// ever answers.
template <class T>
void hookCancellation(const std::shared_ptr<CancelToken>& token, const Request<T>& request) {
  if (!token) return;
  (void)token->onCancel([request] {
    if (auto transfer = request->takeTransfer()) {
      try {
        transfer->cancel();
      } catch (...) {
        // A host that throws from cancel() must not keep the token's other handlers from running.
      }
    }
    Async::background([request] { request->promise.completeWithCancel(); });
  });
}

// Calls the host; a host that throws fails the request instead of the caller.
template <class T, class Call>
void callHost(const Request<T>& request, Call&& call) {
  try {
    call();
  } catch (...) {
    Async::background([request, error = errorFromException(std::current_exception())] {
      request->promise.completeWithFail(error);
    });
  }
}

bool isCancelled(const std::shared_ptr<CancelToken>& token) { return token && token->isCanceled(); }

// The folder of a local path ("/tmp/x/a.tmp" -> "/tmp/x"); none without a "/".
// Kept here rather than in the path utilities: this is the port's only path operation.
std::optional<std::string> parentFolder(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return std::nullopt;
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string lastComponent(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

constexpr int kFolderAttempts = 16;

// A fresh, empty folder for one download in `parent`; the random name makes a collision
// unlikely and createDirectory's refusal of an existing one (EEXIST) makes it harmless.
Result<std::string> makeDownloadFolder(FileIOServiceProtocol& files, const std::string& parent) {
  thread_local std::mt19937_64 random{std::random_device{}()};
  Result<void> made = files.createDirectory(parent, true);
  for (int attempt = 0; made.ok() && attempt < kFolderAttempts; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(random()));
    std::string folder =
        (parent == "/" ? parent : parent + "/") + std::string(kDownloadFolderPrefix) + name;
    made = files.createDirectory(folder, false);
    if (made.ok()) return folder;
    if (made.error().domain == kPosixErrorDomain && made.error().code == EEXIST) {
      made = Result<void>();
    }
  }
  return makeError(BackupSDKError::fileIOFailedToCreateDirectory,
                   "no folder for a download in " + parent +
                       (made.ok() ? std::string() : ": " + made.error().message));
}

void completeLike(const Promise<std::string>& promise, const FutureResult<Void>& step,
                  std::string value) {
  if (step.isSuccess()) {
    promise.completeWithSuccess(std::move(value));
  } else if (step.isFail()) {
    promise.completeWithFail(step.failure());
  } else {
    promise.completeWithCancel();
  }
}

// Moves the host's temporary file P into a fresh folder of its own, under the remote file's
// name. Runs on the background queue.
void finishDownload(const Request<std::string>& request,
                    const std::shared_ptr<FileIOServiceProtocol>& fileIOService,
                    const std::string& downloadFolder, const std::string& relativeRemotePath,
                    std::optional<std::string> path, std::optional<BackupSDKError> error) {
  const Promise<std::string>& promise = request->promise;
  // A late answer moves nothing: the caller has its result already. The file of a cancelled
  // download has no reader left and would stay behind.
  if (promise.future.isCompleted()) {
    const auto result = promise.future.result();
    if (path && fileIOService && result && result->isCancelled()) {
      (void)fileIOService->deleteItem(*path);
    }
    return;
  }
  if (!path) {
    promise.completeWithFail(error ? makeError(*error)
                                   : makeError(BackupSDKError::delegateFileDownloadFailed,
                                               "the host answered the download of " +
                                                   relativeRemotePath +
                                                   " with neither a file nor an error"));
    return;
  }
  const auto folder = parentFolder(*path);
  if (!folder) {
    promise.completeWithFail(makeError(BackupSDKError::delegateFileDownloadFailed,
                                       "the downloaded file " + *path + " has no folder"));
    return;
  }
  if (!fileIOService) {
    promise.completeWithFail(makeError(BackupSDKError::fileIOFailedToMoveFile,
                                       "no file service to move " + *path + " into place"));
    return;
  }
  // Two downloads of one remote name (a listing beside a preview, both reading
  // "backup.json") must never share a local path.
  Result<std::string> ownFolder =
      makeDownloadFolder(*fileIOService, downloadFolder.empty() ? *folder : downloadFolder);
  if (!ownFolder.ok()) {
    (void)fileIOService->deleteItem(*path);
    promise.completeWithFail(ownFolder.error());
    return;
  }
  std::string name = lastComponent(relativeRemotePath);
  std::string target = ownFolder.value() + "/" + (name.empty() ? "download" : name);
  fileIOService->moveForced(*path, target)
      .onComplete(Executor::immediate(), [promise, fileIOService, path, folder = ownFolder.value(),
                                          target](const FutureResult<Void>& moved) {
        if (!moved.isSuccess()) {
          (void)fileIOService->deleteItem(*path);
          (void)fileIOService->deleteItem(folder);
        }
        completeLike(promise, moved, target);
      });
}

}  // namespace

RemoteIOService::RemoteIOService(
    std::shared_ptr<BackupSDKDelegate> delegate,
    std::shared_ptr<FileIOServiceProtocol> fileIOService, std::shared_ptr<LoggerProtocol> logger,
    std::shared_ptr<SingleFileTransferStateReporterProtocol> fileTransferReporter,
    std::string downloadFolder)
    : delegate_(std::move(delegate)),
      fileIOService_(std::move(fileIOService)),
      logger_(std::move(logger)),
      fileTransferReporter_(std::move(fileTransferReporter)),
      downloadFolder_(std::move(downloadFolder)) {}

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
      std::move(cancelToken));
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
  if (!progressReport) progressReport = [](const TransferProgress&) {};
  return sendFile(localPath, relativeRemotePath, std::move(progressReport), std::move(cancelToken));
}

Future<Void> RemoteIOService::sendFile(const std::string& localPath,
                                       const std::string& relativeRemotePath,
                                       ProgressReport progressReport,
                                       std::shared_ptr<CancelToken> cancelToken) {
  auto request = std::make_shared<PendingRequest<Void>>();
  callHost(request, [&] {
    request->keepTransfer(delegate_->uploadFile(
        localPath, relativeRemotePath, std::move(progressReport),
        [request](std::optional<Error> error) {
          request->markAnswered();
          // The host may answer on any thread; hop to the background queue first.
          Async::background([request, error = std::move(error)] {
            if (error) {
              request->promise.completeWithFail(*error);
            } else {
              request->promise.completeWithSuccess(Void{});
            }
          });
        }));
  });
  hookCancellation(cancelToken, request);
  return request->promise.future;
}

Future<bool> RemoteIOService::uploadFileIfAbsent(const std::string& localPath,
                                                 const std::string& relativeRemotePath,
                                                 std::shared_ptr<CancelToken> cancelToken) {
  if (isCancelled(cancelToken)) return Future<bool>::cancelled();
  logWith(logger_, LogLevel::debug, [&] {
    return "Quorro: upload file if absent localPath=" + localPath +
           " remotePath(relative)=" + relativeRemotePath;
  });
  auto request = std::make_shared<PendingRequest<bool>>();
  hookCancellation(cancelToken, request);
  callHost(request, [&] {
    delegate_->uploadFileIfAbsent(
        localPath, relativeRemotePath,
        [request, cancelToken](bool created, std::optional<Error> error) {
          Async::background([request, cancelToken, created, error = std::move(error)] {
            if (isCancelled(cancelToken)) return;
            if (error) {
              request->promise.completeWithFail(*error);
            } else {
              request->promise.completeWithSuccess(created);
            }
          });
        });
  });
  return request->promise.future;
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
  if (!progressReport) progressReport = [](const TransferProgress&) {};

  auto request = std::make_shared<PendingRequest<std::string>>();
  callHost(request, [&] {
    request->keepTransfer(delegate_->downloadFile(
        relativeRemotePath, std::move(progressReport),
        [request, fileIOService = fileIOService_, downloadFolder = downloadFolder_,
         relativeRemotePath](std::optional<std::string> path, std::optional<BackupSDKError> error) {
          request->markAnswered();
          Async::background([request, fileIOService, downloadFolder, relativeRemotePath,
                             path = std::move(path), error] {
            finishDownload(request, fileIOService, downloadFolder, relativeRemotePath, path, error);
          });
        }));
  });
  hookCancellation(cancelToken, request);
  return request->promise.future;
}

Future<bool> RemoteIOService::readFile(const std::string& relativeRemotePath,
                                       std::function<bool(const char* data, size_t size)> consume,
                                       std::shared_ptr<CancelToken> cancelToken) {
  if (isCancelled(cancelToken)) return Future<bool>::cancelled();
  logWith(logger_, LogLevel::debug,
          [&] { return "Quorro: read file remotePath(relative)=" + relativeRemotePath; });
  auto request = std::make_shared<PendingRequest<bool>>();
  callHost(request, [&] {
    std::shared_ptr<CancellationDelegate> transfer = delegate_->readFile(
        relativeRemotePath, std::move(consume), [request](std::optional<BackupSDKError> error) {
          request->markAnswered();
          Async::background([request, error] {
            if (error) {
              request->promise.completeWithFail(makeError(*error));
            } else {
              request->promise.completeWithSuccess(true);
            }
          });
        });
    if (transfer) return request->keepTransfer(std::move(transfer));
    // No handle: the host does not stream, and never calls back.
    request->markAnswered();
    Async::background([request] { request->promise.completeWithSuccess(false); });
  });
  hookCancellation(cancelToken, request);
  return request->promise.future;
}

Future<Void> RemoteIOService::createDirectory(const std::string& relativeRemotePath,
                                              std::shared_ptr<CancelToken> cancelToken) {
  logWith(logger_, LogLevel::debug,
          [&] { return "Quorro: create directory remotePath(relative)=" + relativeRemotePath; });
  auto request = std::make_shared<PendingRequest<Void>>();
  hookCancellation(cancelToken, request);
  callHost(request, [&] {
    delegate_->createDirectory(
        relativeRemotePath, [request, cancelToken](bool alreadyExists, std::optional<Error> error) {
          Async::background([request, cancelToken, alreadyExists, error = std::move(error)] {
            if (isCancelled(cancelToken)) return;
            if (alreadyExists) {
              request->promise.completeWithFail(makeError(BackupSDKError::delegateDirectoryExist));
            } else if (error) {
              request->promise.completeWithFail(*error);
            } else {
              request->promise.completeWithSuccess(Void{});
            }
          });
        });
  });
  return request->promise.future;
}

Future<Void> RemoteIOService::deleteFile(const std::string& relativeRemotePath,
                                         std::shared_ptr<CancelToken> cancelToken) {
  logWith(logger_, LogLevel::debug,
          [&] { return "Quorro: delete file remotePath(relative)=" + relativeRemotePath; });
  auto request = std::make_shared<PendingRequest<Void>>();
  hookCancellation(cancelToken, request);
  callHost(request, [&] {
    delegate_->deleteFile(
        relativeRemotePath, [request, cancelToken](bool deleted, std::optional<Error> error) {
          Async::background([request, cancelToken, deleted, error = std::move(error)] {
            if (isCancelled(cancelToken)) return;
            if (deleted) {
              request->promise.completeWithSuccess(Void{});
            } else {
              request->promise.completeWithFail(
                  error ? *error : makeError(BackupSDKError::delegateDeleteFileFailed));
            }
          });
        });
  });
  return request->promise.future;
}

Future<std::shared_ptr<const Directory>> RemoteIOService::getDirectoryInfo(
    const std::string& relativeRemotePath, std::shared_ptr<CancelToken> cancelToken) {
  logWith(logger_, LogLevel::debug,
          [&] { return "Quorro: get directory info remotePath(relative)=" + relativeRemotePath; });
  auto request = std::make_shared<PendingRequest<std::shared_ptr<const Directory>>>();
  hookCancellation(cancelToken, request);
  callHost(request, [&] {
    delegate_->getDirectoryInfo(
        relativeRemotePath,
        [request, cancelToken](std::optional<Directory> directory, std::optional<Error> error) {
          Async::background([request, cancelToken, directory = std::move(directory),
                             error = std::move(error)]() mutable {
            if (isCancelled(cancelToken)) return;
            if (directory) {
              request->promise.completeWithSuccess(
                  std::make_shared<const Directory>(std::move(*directory)));
            } else {
              request->promise.completeWithFail(
                  error ? *error : makeError(BackupSDKError::delegateDirectoryInfoFailed));
            }
          });
        });
  });
  return request->promise.future;
}

Future<Void> RemoteIOService::inflateZip(const std::string& remoteSrcPath,
                                         const std::string& remoteDstPath,
                                         std::shared_ptr<CancelToken> cancelToken) {
  logWith(logger_, LogLevel::debug, [&] {
    return "Quorro: inflate zip remoteSrcPath(relative)=" + remoteSrcPath +
           " remoteDestPath=" + remoteDstPath;
  });
  auto request = std::make_shared<PendingRequest<Void>>();
  hookCancellation(cancelToken, request);
  callHost(request, [&] {
    delegate_->inflateZip(remoteSrcPath, remoteDstPath,
                          [request, cancelToken](std::optional<Error> error) {
                            Async::background([request, cancelToken, error = std::move(error)] {
                              if (isCancelled(cancelToken)) return;
                              if (error) {
                                request->promise.completeWithFail(*error);
                              } else {
                                request->promise.completeWithSuccess(Void{});
                              }
                            });
                          });
  });
  return request->promise.future;
}

int64_t RemoteIOService::getZipSize() { return delegate_->getZipSize(); }

}  // namespace tessellon
