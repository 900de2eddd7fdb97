#include "platform/files/FileIOService.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <limits>
#include <system_error>
#include <utility>

#include "tessellon/BackupSDKError.h"

#include "platform/files/ContentChecksum.h"
#include "platform/files/PosixError.h"
#include "platform/files/PosixFiles.h"
#include "platform/files/TemporaryFolderServiceProtocol.h"
#include "platform/text/Utf8.h"

namespace tessellon {

namespace fs = std::filesystem;

namespace {

Future<Void> succeed() { return Future<Void>::success(Void{}); }

Future<Void> failWith(BackupSDKError code, const Error& cause) {
  return Future<Void>::fail(makeError(code, cause.message));
}

// The folder and name of `path`, with the folder resolved, so that two texts
// naming one item compare equal; the last component stays unresolved because a
// link is an item of its own.
fs::path location(const std::string& path) {
  std::error_code ignored;
  const fs::path normal = fs::absolute(fs::path(path), ignored).lexically_normal();
  fs::path name = normal.filename();
  fs::path folder = normal.parent_path();
  if (name.empty()) {  // "a/b/" names the folder b
    name = folder.filename();
    folder = folder.parent_path();
  }
  return fs::weakly_canonical(folder, ignored) / name;
}

bool isInside(const fs::path& inner, const fs::path& outer) {
  auto [outerEnd, innerAt] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
  return outerEnd == outer.end() && innerAt != inner.end();
}

fs::path normalAbsolute(const std::string& path) {
  std::error_code ignored;
  fs::path normal = fs::absolute(fs::path(path), ignored).lexically_normal();
  return normal.has_filename() ? normal : normal.parent_path();
}

// Once a file has left `source` (deleted or moved away), the download folder that held it goes
// too: such a folder holds one download and nothing else.
void removeDownloadFolderOf(const std::string& source, const std::string& temporaryDirectory) {
  if (temporaryDirectory.empty()) return;
  const fs::path folder = normalAbsolute(source).parent_path();
  if (folder.parent_path() == normalAbsolute(temporaryDirectory) &&
      folder.filename().string().starts_with(kDownloadFolderPrefix)) {
    ::rmdir(folder.c_str());  // fails, as it should, while anything is left in it
  }
}

}  // namespace

FileIOService::FileIOService(std::string temporaryDirectory)
    : temporaryDirectory_(std::move(temporaryDirectory)) {}

Future<Void> FileIOService::write(const std::string& path, const std::string& content) {
  if (!temporaryDirectory_.empty()) {
    // Nothing of ours goes into a temporary folder that another user has taken over since.
    const fs::path temporary = normalAbsolute(temporaryDirectory_);
    if (isInside(normalAbsolute(path), temporary)) {
      auto still = posix::checkPrivateDirectory(temporary.string());
      if (!still.ok()) {
        return failWith(BackupSDKError::fileIOParentDirectoryNotFound, still.error());
      }
    }
  }
  auto written = posix::writeFileAtomically(path, content);
  if (!written.ok()) {
    return failWith(BackupSDKError::fileIOParentDirectoryNotFound, written.error());
  }
  return succeed();
}

Future<std::string> FileIOService::read(const std::string& path) {
  const auto filePath = posix::filePathFromText(path);
  if (!filePath) {
    return Future<std::string>::fail(
        makeError(BackupSDKError::fileIOFailedToReadFile, "read: not a path or file URL"));
  }
  auto content = posix::readWholeFile(*filePath);
  if (!content.ok()) {
    return Future<std::string>::fail(
        makeError(BackupSDKError::fileIOFailedToReadFile, content.error().message));
  }
  if (!isValidUtf8(content.value())) {
    return Future<std::string>::fail(
        makeError(BackupSDKError::fileIOFailedToReadFile, "read " + *filePath + ": not UTF-8"));
  }
  return Future<std::string>::success(std::move(content).value());
}

Future<Void> FileIOService::moveForced(const std::string& source, const std::string& targetPath) {
  if (source == targetPath) return succeed();
  struct stat sourceStatus {};
  if (::lstat(source.c_str(), &sourceStatus) != 0) {
    return failWith(BackupSDKError::fileIOFailedToMoveFile, posixError("move " + source, errno));
  }
  const fs::path from = location(source);
  const fs::path to = location(targetPath);
  if (from == to) return succeed();
  // Removing the target first would delete the source with it.
  if (isInside(from, to) || isInside(to, from)) {
    return failWith(BackupSDKError::fileIOFailedToMoveFile,
                    posixError("move " + source + " to " + targetPath, EINVAL));
  }
  struct stat targetStatus {};
  if (::lstat(targetPath.c_str(), &targetStatus) == 0) {
    std::error_code ignored;  // a target that stays makes the move itself fail
    fs::remove_all(targetPath, ignored);
  }
  auto moved = posix::moveItem(source, targetPath);
  if (!moved.ok()) return failWith(BackupSDKError::fileIOFailedToMoveFile, moved.error());
  removeDownloadFolderOf(source, temporaryDirectory_);
  return succeed();
}

Future<Void> FileIOService::deleteItem(const std::string& path) {
  std::error_code ignored;
  if (!fs::absolute(fs::path(path), ignored).lexically_normal().has_relative_path()) {
    return failWith(BackupSDKError::fileIOFailedToDelete, posixError("delete " + path, EPERM));
  }
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    return failWith(BackupSDKError::fileIOFailedToDelete, posixError("delete " + path, errno));
  }
  std::error_code error;
  fs::remove_all(path, error);
  if (error) {
    return failWith(BackupSDKError::fileIOFailedToDelete,
                    posixError("delete " + path, error.value()));
  }
  removeDownloadFolderOf(path, temporaryDirectory_);
  return succeed();
}

std::vector<std::string> FileIOService::subpathsOfDirectorySave(const std::string& path) {
  auto subpaths = posix::listSubpaths(path);
  return subpaths.ok() ? std::move(subpaths).value() : std::vector<std::string>{};
}

Future<Void> FileIOService::createDirectory(const std::string& path) {
  auto created = createDirectory(path, true);
  if (!created.ok())
    return failWith(BackupSDKError::fileIOFailedToCreateDirectory, created.error());
  return succeed();
}

bool FileIOService::exists(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0;
}

Result<std::vector<std::string>> FileIOService::subpathsOfDirectory(const std::string& path) {
  return posix::listSubpaths(path);
}

Result<void> FileIOService::visitSubpathsWithAttributes(
    const std::string& path, const std::function<bool(ListedItem&&)>& visit) {
  return posix::visitSubpathsWithAttributes(path, true, visit);
}

Result<FileAttributes> FileIOService::attributesOfItem(const std::string& path) {
  struct statx status {};
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME,
              &status) != 0) {
    return posixError("attributes of " + path, errno);
  }
  return posix::attributesFrom(status);
}

bool FileIOService::isReadableFile(const std::string& path) {
  return ::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0;
}

Result<void> FileIOService::copyItem(const std::string& source, const std::string& destiny) {
  return posix::copyItem(source, destiny);
}

Result<void> FileIOService::moveItem(const std::string& source, const std::string& destiny) {
  Result<void> moved = posix::moveItemWithoutReplacing(source, destiny);
  if (moved.ok()) removeDownloadFolderOf(source, temporaryDirectory_);
  return moved;
}

Result<void> FileIOService::createDirectory(const std::string& path,
                                            bool withIntermediateDirectories) {
  if (path.empty()) return posixError("create folder \"\"", ENOENT);
  // Our own folders (the cache, a run's archives) are private to the user.
  if (!temporaryDirectory_.empty()) {
    std::error_code ignored;
    const fs::path folder = fs::absolute(fs::path(path), ignored).lexically_normal();
    const fs::path temporary =
        fs::absolute(fs::path(temporaryDirectory_), ignored).lexically_normal();
    if (folder == temporary || isInside(folder, temporary)) {
      if (!withIntermediateDirectories && ::mkdir(folder.c_str(), 0700) != 0) {
        return posixError("create folder " + path, errno);
      }
      return posix::createPrivateDirectory(temporary.string(), folder.string());
    }
  }
  if (!withIntermediateDirectories) {
    if (::mkdir(path.c_str(), 0777) != 0) return posixError("create folder " + path, errno);
    return {};
  }
  std::error_code error;
  fs::create_directories(path, error);
  if (error) return posixError("create folder " + path, error.value());
  return {};
}

Result<void> FileIOService::setAttributes(const FileAttributeChanges& attributes,
                                          const std::string& ofItemAtPath) {
  // attributes.creationDate is ignored: Linux offers no call that sets a birth time.
  if (attributes.posixPermissions) {
    const unsigned mask = posix::fileCreationMask().value_or(077);
    if (::chmod(ofItemAtPath.c_str(), *attributes.posixPermissions & ~mask & 07777) != 0) {
      return posixError("set permissions of " + ofItemAtPath, errno);
    }
  }
  if (!attributes.modificationDate) {
    struct stat status {};
    if (::stat(ofItemAtPath.c_str(), &status) != 0) {
      return posixError("set attributes of " + ofItemAtPath, errno);
    }
    return {};
  }
  const auto sinceEpoch = attributes.modificationDate->time_since_epoch();
  const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
  struct timespec times[2]{};
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(seconds.count());
  times[1].tv_nsec = static_cast<long>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch - seconds).count());
  if (::utimensat(AT_FDCWD, ofItemAtPath.c_str(), times, 0) != 0) {
    return posixError("set modification date of " + ofItemAtPath, errno);
  }
  return {};
}

std::optional<int64_t> FileIOService::getTotalRemainingFreeSpaceInBytes() {
  std::error_code error;
  fs::path folder = fs::absolute(fs::path(temporaryDirectory_), error).lexically_normal();
  if (error) return std::nullopt;
  while (true) {
    struct statvfs volume {};
    if (::statvfs(folder.c_str(), &volume) == 0) {
      constexpr auto kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
      const uint64_t blockSize = std::max<uint64_t>(volume.f_frsize, 1);
      if (volume.f_bavail > kMax / blockSize) return std::numeric_limits<int64_t>::max();
      return static_cast<int64_t>(volume.f_bavail * blockSize);
    }
    if (errno != ENOENT || !folder.has_relative_path()) return std::nullopt;
    folder = folder.parent_path();
  }
}

Result<std::string> FileIOService::contentChecksum(const std::string& path) {
  return ContentChecksum::ofFile(path);
}

Result<void> FileIOService::syncFileSystem(const std::string& path) {
  return posix::syncFileSystem(path);
}

}  // namespace tessellon
