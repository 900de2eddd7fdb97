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
#include "remote/HostAnswerCheck.h"
#include "remote/HostRequest.h"
#include "sdk/Async.h"
#include "sdk/CancelToken.h"
#include "sdk/Log.h"

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

// Where a download lands, and what it must keep away from.
struct DownloadPlace {
  std::shared_ptr<FileIOServiceProtocol> files;  // may be null
  std::shared_ptr<LoggerProtocol> logger;        // may be null
  std::string downloadFolder;                    // may be empty
  std::vector<std::string> userFolders;
};

// Moves the host's temporary file into a fresh folder of its own, under the remote file's
// name. Runs on the background queue.
//
// Hosts keep their downloads where they like ($TMPDIR, a work folder of theirs, the library's
// temporary folder), so any place is accepted except the user's own folders; what is taken must
// be a regular file at an absolute, plain path. The move renames the name the check saw; what
// arrives in the private folder is checked again, so a link swapped in meanwhile is never read.
void finishDownload(const Request<std::string>& request, const DownloadPlace& place,
                    const std::string& relativeRemotePath, std::optional<std::string> path,
                    std::optional<BackupSDKError> error) {
  std::optional<std::string> refused;
  if (path && place.files) {
    refused = HostAnswerCheck::refusedDownload(*place.files, *path, place.downloadFolder,
                                               place.userFolders);
  }
  // A file that arrives after the request ended has no reader left: it goes, if it is one the
  // library may touch at all.
  if (request->future().isCompleted()) {
    const auto result = request->future().result();
    if (path && place.files && !refused && result && !result->isSuccess()) {
      (void)place.files->deleteItem(*path);
    }
    return;
  }
  // A contradicting answer is not acted on at all: the file stays the host's.
  if (path && error) {
    return request->refuse(BackupSDKError::delegateFileDownloadFailed,
                           "carries both a file and the error " + std::string(caseName(*error)));
  }
  if (!path) {
    if (error) return request->fail(makeError(*error));
    return request->refuse(BackupSDKError::delegateFileDownloadFailed,
                           "carries neither a file nor an error");
  }
  if (!place.files) {
    return request->fail(makeError(BackupSDKError::fileIOFailedToMoveFile,
                                   "no file service to move " + *path + " into place"));
  }
  if (refused) {
    logWith(place.logger, LogLevel::warning, [&] {
      return "Quorro: the host's file for the " + request->what() + ", " + *path +
             ", is left alone: it " + *refused;
    });
    return request->refuse(BackupSDKError::delegateFileDownloadFailed,
                           "names " + *path + ", which " + *refused);
  }
  const auto folder = parentFolder(*path);
  if (!folder) {
    return request->refuse(BackupSDKError::delegateFileDownloadFailed,
                           "names " + *path + ", which has no folder");
  }
  // Two downloads of one remote name (a listing beside a preview, both reading
  // "backup.json") must never share a local path.
  Result<std::string> ownFolder = makeDownloadFolder(
      *place.files, place.downloadFolder.empty() ? *folder : place.downloadFolder);
  if (!ownFolder.ok()) {
    (void)place.files->deleteItem(*path);
    return request->fail(ownFolder.error());
  }
  std::string name = lastComponent(relativeRemotePath);
  std::string target = ownFolder.value() + "/" + (name.empty() ? "download" : name);
  const FutureResult<Void> moved =
      place.files->moveForced(*path, target).result().value_or(FutureResult<Void>::cancelled());
  if (!moved.isSuccess()) {
    (void)place.files->deleteItem(*path);
    (void)place.files->deleteItem(ownFolder.value());
    if (moved.isFail()) return request->fail(moved.failure());
    return request->refuse(BackupSDKError::fileIOFailedToMoveFile, "could not be moved");
  }
  const Result<FileAttributes> arrived = place.files->attributesOfItem(target);
  if (!arrived.ok() || arrived.value().type != FileAttributes::Type::regular) {
    (void)place.files->deleteItem(ownFolder.value());
    return request->refuse(BackupSDKError::delegateFileDownloadFailed,
                           "names " + *path + ", which was replaced by something else");
  }
  request->succeed(std::move(target));
}

}  // namespace

RemoteIOService::RemoteIOService(
    std::shared_ptr<BackupSDKDelegate> delegate,
    std::shared_ptr<FileIOServiceProtocol> fileIOService, std::shared_ptr<LoggerProtocol> logger,
    std::shared_ptr<SingleFileTransferStateReporterProtocol> fileTransferReporter,
    std::string downloadFolder, std::chrono::milliseconds requestTimeout,
    std::vector<std::string> userFolders)
    : delegate_(std::move(delegate)),
      fileIOService_(std::move(fileIOService)),
      logger_(std::move(logger)),
      fileTransferReporter_(std::move(fileTransferReporter)),
      downloadFolder_(std::move(downloadFolder)),
      requestTimeout_(requestTimeout),
      userFolders_(std::move(userFolders)) {}

template <class T>
std::shared_ptr<HostRequest<T>> RemoteIOService::startRequest(
    std::string what, BackupSDKError timeoutCode, const std::shared_ptr<CancelToken>& cancelToken) {
  auto request = HostRequest<T>::start(std::move(what), requestTimeout_, timeoutCode, logger_);
  request->watch(cancelToken);
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
  return sendFile(localPath, relativeRemotePath, std::move(progressReport), std::move(cancelToken));
}

Future<Void> RemoteIOService::sendFile(const std::string& localPath,
                                       const std::string& relativeRemotePath,
                                       ProgressReport progressReport,
                                       std::shared_ptr<CancelToken> cancelToken) {
  auto request = startRequest<Void>("upload of " + relativeRemotePath,
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
  auto request = startRequest<bool>("upload if absent of " + relativeRemotePath,
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
  DownloadPlace place{fileIOService_, logger_, downloadFolder_, userFolders_};
  callHost(request, [&] {
    request->keepTransfer(delegate_->downloadFile(
        relativeRemotePath, request->progress(std::move(progressReport)),
        [request, place = std::move(place), relativeRemotePath](
            std::optional<std::string> path, std::optional<BackupSDKError> error) {
          request->onAnswer([request, place, relativeRemotePath, path = std::move(path), error] {
            finishDownload(request, place, relativeRemotePath, path, error);
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
  auto request = startRequest<Void>("creation of folder " + relativeRemotePath,
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
  auto request = startRequest<Void>("deletion of " + relativeRemotePath,
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
  // Inflating ends the archive's upload; a host that never finishes it fails that upload.
  auto request = startRequest<Void>("inflation of " + remoteSrcPath,
                                    BackupSDKError::fileIOFailedToUploadFile, cancelToken);
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

}  // namespace tessellon
