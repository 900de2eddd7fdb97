#include "platform/files/TemporaryFolderService.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "tessellon/BackupSDKError.h"

#include "platform/files/PosixFiles.h"

namespace tessellon {
namespace {

bool isRunFile(std::string_view name, bool folder) {
  // Files so named are a host's downloads the library had not taken yet when the run died.
  if (name.starts_with(kDownloadFolderPrefix)) return true;
  if (folder) return false;
  return name.ends_with(".json") || name.ends_with(".zip") ||
         name.find(".zip.partial-") != std::string_view::npos ||
         (name.starts_with('.') && name.find(".tmp-") != std::string_view::npos);
}

int lock(int fd, int operation) {
  while (::flock(fd, operation) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

}  // namespace

TemporaryFolderService::TemporaryFolderService(std::string folder) : folder_(std::move(folder)) {}

TemporaryFolderService::~TemporaryFolderService() {
  if (fd_ >= 0) ::close(fd_);
}

Result<void> TemporaryFolderService::acquire() {
  std::lock_guard guard(mutex_);
  if (users_ > 0) {
    // Already held by this process; the folder is still checked, as every operation's is.
    Result<void> still = posix::checkPrivateDirectory(folder_);
    if (!still.ok()) {
      return makeError(BackupSDKError::fileIOFailedToCreateDirectory, still.error().message);
    }
    ++users_;
    return {};
  }
  Result<int> opened = posix::openPrivateDirectory(folder_);
  if (!opened.ok()) {
    return makeError(BackupSDKError::fileIOFailedToCreateDirectory, opened.error().message);
  }
  fd_ = opened.value();
  // Alone with the folder: whatever is there was left by a run that did not end (killed).
  if (lock(fd_, LOCK_EX | LOCK_NB) == 0) sweep();
  // Waits only while another process sweeps.
  (void)lock(fd_, LOCK_SH);
  ++users_;
  return {};
}

void TemporaryFolderService::release() {
  std::lock_guard guard(mutex_);
  if (users_ == 0 || --users_ > 0) return;
  // Our shared lock is given up either way; exclusive means no other process is inside.
  if (lock(fd_, LOCK_EX | LOCK_NB) == 0) sweep();
  ::close(std::exchange(fd_, -1));
}

void TemporaryFolderService::sweep() {
  const int fd = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  DIR* const stream = ::fdopendir(fd);
  if (stream == nullptr) {
    ::close(fd);
    return;
  }
  const std::unique_ptr<DIR, int (*)(DIR*)> closer(stream, &::closedir);
  std::vector<std::string> doomed;
  while (const dirent* const entry = ::readdir(stream)) {
    const std::string_view name(entry->d_name);
    if (name == "." || name == "..") continue;
    bool folder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat status {};
      folder = ::fstatat(fd_, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
               S_ISDIR(status.st_mode);
    }
    if (isRunFile(name, folder)) doomed.emplace_back(name);
  }
  // A file that cannot be removed now goes with a later sweep.
  for (const std::string& name : doomed) (void)posix::removeTreeAt(fd_, name);
}

}  // namespace tessellon
