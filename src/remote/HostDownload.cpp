#include "remote/HostDownload.h"

#include <cerrno>
#include <cstdio>
#include <random>
#include <utility>

#include "core/Log.h"
#include "core/PathUtils.h"
#include "platform/files/PosixError.h"
#include "platform/files/TemporaryFolderServiceProtocol.h"
#include "remote/HostAnswerCheck.h"
#include "remote/HostRequest.h"

namespace tessellon {
namespace {

// The folder of a local path ("/tmp/x/a.tmp" -> "/tmp/x"); none without a "/".
// Kept here rather than in the path utilities: this is the port's only path operation.
std::optional<std::string> parentFolder(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return std::nullopt;
  return slash == 0 ? std::string("/") : path.substr(0, slash);
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

}  // namespace

HostDownload::HostDownload(std::shared_ptr<FileIOServiceProtocol> files,
                           std::shared_ptr<LoggerProtocol> logger, std::string downloadFolder,
                           std::vector<std::string> userFolders,
                           std::vector<std::string> hostFolders)
    : files_(std::move(files)),
      logger_(std::move(logger)),
      downloadFolder_(std::move(downloadFolder)),
      userFolders_(std::move(userFolders)),
      hostFolders_(std::move(hostFolders)) {}

void HostDownload::finish(HostRequest<std::string>& request, const std::string& relativeRemotePath,
                          std::optional<std::string> path,
                          std::optional<BackupSDKError> error) const {
  std::optional<std::string> refused;
  if (path && files_) {
    refused = HostAnswerCheck::refusedDownload(*files_, *path, downloadFolder_, userFolders_,
                                               hostFolders_);
  }
  // A file that arrives after the request ended has no reader left: it goes, if it is one the
  // library may touch at all.
  if (request.future().isCompleted()) {
    const auto result = request.future().result();
    if (path && files_ && !refused && result && !result->isSuccess()) {
      (void)files_->deleteItem(*path);
    }
    return;
  }
  // A contradicting answer is not acted on at all: the file stays the host's.
  if (path && error) {
    return request.refuse(BackupSDKError::delegateFileDownloadFailed,
                          "carries both a file and the error " + std::string(caseName(*error)));
  }
  if (!path) {
    if (error) return request.fail(makeError(*error));
    return request.refuse(BackupSDKError::delegateFileDownloadFailed,
                          "carries neither a file nor an error");
  }
  if (!files_) {
    return request.fail(makeError(BackupSDKError::fileIOFailedToMoveFile,
                                  "no file service to move " + *path + " into place"));
  }
  if (refused) {
    logWith(logger_, LogLevel::warning, [&] {
      return "Quorro: the host's file for the " + request.what() + ", " + *path +
             ", is left alone: it " + *refused;
    });
    return request.refuse(BackupSDKError::delegateFileDownloadFailed,
                          "names " + *path + ", which " + *refused);
  }
  const auto folder = parentFolder(*path);
  if (!folder) {
    return request.refuse(BackupSDKError::delegateFileDownloadFailed,
                          "names " + *path + ", which has no folder");
  }
  // Two downloads of one remote name (a listing beside a preview, both reading
  // "backup.json") must never share a local path.
  Result<std::string> ownFolder =
      makeDownloadFolder(*files_, downloadFolder_.empty() ? *folder : downloadFolder_);
  if (!ownFolder.ok()) {
    (void)files_->deleteItem(*path);
    return request.fail(ownFolder.error());
  }
  std::string name = PathUtils::lastComponent(relativeRemotePath);
  std::string target = ownFolder.value() + "/" + (name.empty() ? "download" : name);
  const FutureResult<Void> moved =
      files_->moveForced(*path, target).result().value_or(FutureResult<Void>::cancelled());
  if (!moved.isSuccess()) {
    (void)files_->deleteItem(*path);
    (void)files_->deleteItem(ownFolder.value());
    if (moved.isFail()) return request.fail(moved.failure());
    return request.refuse(BackupSDKError::fileIOFailedToMoveFile, "could not be moved");
  }
  const Result<FileAttributes> arrived = files_->attributesOfItem(target);
  if (!arrived.ok() || arrived.value().type != FileAttributes::Type::regular) {
    (void)files_->deleteItem(ownFolder.value());
    return request.refuse(BackupSDKError::delegateFileDownloadFailed,
                          "names " + *path + ", which was replaced by something else");
  }
  request.succeed(std::move(target));
}

}  // namespace tessellon
