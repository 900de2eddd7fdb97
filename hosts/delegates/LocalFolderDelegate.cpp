#include "delegates/LocalFolderDelegate.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "delegates/FileDescriptor.h"
#include "delegates/LocalFolderError.h"
#include "delegates/SafeZipExtractor.h"
#include "delegates/WorkerThread.h"

namespace tessellon::hosts {

namespace fs = std::filesystem;

namespace {

// In-kernel copies go in chunks large enough to cost nothing per byte, small
// enough for prompt progress and cancellation.
constexpr int64_t kChunkSize = int64_t{8} * 1024 * 1024;
// Buffered copies (across file systems) use small writes: on ext4 under
// writeback, 1 MiB writes measured two to four times slower than 64 KiB ones.
constexpr size_t kBufferSize = size_t{64} * 1024;

// "a/./b//c" -> "a/b/c"; none for absolute paths and ".." anywhere. The root is "".
std::optional<std::string> normalize(const std::string& relative) {
  if (!relative.empty() && relative.front() == '/') return std::nullopt;
  std::string result;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    const std::string part = relative.substr(start, end - start);
    if (part == "..") return std::nullopt;
    if (!part.empty() && part != ".") result += (result.empty() ? "" : "/") + part;
    start = end + 1;
  }
  return result;
}

Error refusedPath(const std::string& relative) {
  return localFolderError(LocalFolderError::refusedPath,
                          "the path \"" + relative + "\" leaves the remote folder");
}

// What the remote may still take, when it has a capacity.
class Room {
 public:
  Room(const std::string& root, std::optional<int64_t> capacity) {
    if (!capacity) return;
    int64_t used = 0;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
      if (it->is_regular_file(error)) used += static_cast<int64_t>(it->file_size(error));
    }
    left_ = *capacity - used;
  }
  // ENOSPC when `bytes` more do not fit; a negative count gives room back.
  int take(int64_t bytes) {
    if (!left_) return 0;
    if (*left_ < bytes) return ENOSPC;
    *left_ -= bytes;
    return 0;
  }

 private:
  std::optional<int64_t> left_;
};

class TransferFlag final : public CancellationDelegate {
 public:
  void cancel() override { cancelled_.store(true, std::memory_order_relaxed); }
  bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> cancelled_{false};
};

using Progress = std::function<void(const TransferProgress&)>;

int writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return 0;
}

// Copies the first `size` bytes of `in` (its size when the transfer began) to
// `out`, reporting the fraction done after each chunk. Returns 0, an errno, or
// ECANCELED.
int copyData(int in, int out, int64_t size, const TransferFlag& flag, const Progress& progress,
             Room& room) {
  int64_t copied = 0;
  bool inKernel = true;
  std::vector<char> buffer;
  for (;;) {
    if (flag.cancelled()) return ECANCELED;
    const int64_t want = std::min<int64_t>(size - copied, inKernel ? kChunkSize : kBufferSize);
    if (want <= 0) return 0;
    if (const int full = room.take(want)) return full;
    ssize_t moved = 0;
    if (inKernel) {
      moved = ::copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(want), 0);
      if (moved < 0 && copied == 0 &&
          (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
        (void)room.take(-want);  // nothing moved
        inKernel = false;
        continue;
      }
    } else {
      if (buffer.empty()) buffer.resize(kBufferSize);
      moved = ::read(in, buffer.data(), static_cast<size_t>(want));
      if (moved > 0) {
        if (const int error = writeAll(out, buffer.data(), static_cast<size_t>(moved))) {
          return error;
        }
      }
    }
    if (moved < 0 && errno != EINTR) return errno;
    (void)room.take(std::max<int64_t>(moved, 0) - want);  // gives back what went unused
    if (moved < 0) continue;
    if (moved == 0) return 0;  // the file shrank meanwhile
    copied += moved;
    if (progress) progress(TransferProgress{static_cast<double>(copied) / size});
  }
}

// A new file "<prefix>XXXXXX" in `folder`, mode 0644.
FileDescriptor makeTemporary(const std::string& folder, const char* prefix, std::string& path) {
  path = folder + "/" + prefix + "XXXXXX";
  FileDescriptor fd(::mkostemp(path.data(), O_CLOEXEC));
  if (fd.valid()) (void)::fchmod(fd.get(), 0644);
  return fd;
}

bool isArchive(const std::string& path) {
  return path.size() > 4 && path.compare(path.size() - 4, 4, ".zip") == 0;
}

std::string defaultDownloadFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = (base != nullptr && *base != '\0') ? base : "/tmp";
  pattern += "/tessellon-downloads-XXXXXX";
  return ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

}  // namespace

struct LocalFolderDelegate::Config {
  std::string root;
  int64_t zipSize = kDefaultZipSize;
  std::optional<int64_t> capacity;
  std::string downloadFolder;
  bool ownsDownloadFolder = false;

  Config() = default;
  Config(const Config&) = delete;
  Config& operator=(const Config&) = delete;
  ~Config() {
    if (!ownsDownloadFolder || downloadFolder.empty()) return;
    std::error_code ignored;
    fs::remove_all(downloadFolder, ignored);
  }

  std::string pathOf(const std::string& normalized) const {
    return normalized.empty() ? root : root + "/" + normalized;
  }
};

LocalFolderDelegate::LocalFolderDelegate(std::string rootFolder, int64_t zipSize,
                                         std::optional<int64_t> capacityInBytes,
                                         std::optional<std::string> downloadFolder)
    : config_([&] {
        auto config = std::make_shared<Config>();
        while (rootFolder.size() > 1 && rootFolder.back() == '/') rootFolder.pop_back();
        config->root = std::move(rootFolder);
        config->zipSize = zipSize;
        config->capacity = capacityInBytes;
        if (downloadFolder) {
          config->downloadFolder = std::move(*downloadFolder);
        } else {
          config->downloadFolder = defaultDownloadFolder();
          config->ownsDownloadFolder = true;
        }
        std::error_code ignored;
        fs::create_directories(config->root, ignored);
        return std::shared_ptr<const Config>(std::move(config));
      }()),
      worker_(WorkerThread::start()) {}

LocalFolderDelegate::~LocalFolderDelegate() { worker_->stop(); }

const std::string& LocalFolderDelegate::rootFolder() const { return config_->root; }

int64_t LocalFolderDelegate::getZipSize() { return config_->zipSize; }

std::shared_ptr<CancellationDelegate> LocalFolderDelegate::uploadFile(
    const std::string& localPath, const std::string& relativeRemotePath, Progress progress,
    std::function<void(std::optional<Error>)> completion) {
  auto flag = std::make_shared<TransferFlag>();
  worker_->post([config = config_, flag, localPath, relativeRemotePath,
                 progress = std::move(progress), completion = std::move(completion)] {
    auto answer = [&](std::optional<Error> error) {
      if (completion) completion(std::move(error));
    };
    if (flag->cancelled()) return answer(transferCancelled());
    const auto normalized = normalize(relativeRemotePath);
    if (!normalized || normalized->empty()) return answer(refusedPath(relativeRemotePath));
    const std::string target = config->pathOf(*normalized);

    // O_NONBLOCK: a FIFO in place of the file must not stall the worker.
    FileDescriptor in(::open(localPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!in.valid() || ::fstat(in.get(), &info) != 0) {
      const int code = errno;
      return answer(posixError(code, "cannot read " + localPath));
    }
    if (!S_ISREG(info.st_mode)) return answer(posixError(EISDIR, localPath + " is not a file"));
    // An archive on the same volume is taken by a hard link instead of a copy:
    // the library never rewrites a finished archive in place (a new archive is
    // a new file). With a capacity to honour, the bytes are counted by copying.
    if (!config->capacity && isArchive(target)) {
      std::string linked;
      FileDescriptor reserved =
          makeTemporary(fs::path(target).parent_path().string(), ".tessellon-upload-", linked);
      if (reserved.valid()) {
        (void)reserved.close();
        ::unlink(linked.c_str());
        if (::link(localPath.c_str(), linked.c_str()) == 0) {
          if (::rename(linked.c_str(), target.c_str()) == 0) {
            if (progress) progress(TransferProgress{1.0});
            return answer(std::nullopt);
          }
          ::unlink(linked.c_str());
        }
      }
    }
    std::string temporary;
    FileDescriptor out =
        makeTemporary(fs::path(target).parent_path().string(), ".tessellon-upload-", temporary);
    if (!out.valid()) {
      const int code = errno;
      return answer(writeError(code, "cannot upload to " + relativeRemotePath));
    }

    Room room(config->root, config->capacity);
    int failure = copyData(in.get(), out.get(), info.st_size, *flag, progress, room);
    if (const int closed = out.close(); failure == 0) failure = closed;
    if (failure == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) failure = errno;
    if (failure != 0) {
      ::unlink(temporary.c_str());
      if (failure == ECANCELED) return answer(transferCancelled());
      return answer(writeError(failure, "cannot upload to " + relativeRemotePath));
    }
    if (progress && info.st_size == 0) progress(TransferProgress{1.0});
    answer(std::nullopt);
  });
  return flag;
}

std::shared_ptr<CancellationDelegate> LocalFolderDelegate::downloadFile(
    const std::string& relativeRemotePath, Progress progress,
    std::function<void(std::optional<std::string>, std::optional<BackupSDKError>)> completion) {
  auto flag = std::make_shared<TransferFlag>();
  worker_->post([config = config_, flag, relativeRemotePath, progress = std::move(progress),
                 completion = std::move(completion)] {
    auto answer = [&](std::optional<std::string> path, std::optional<BackupSDKError> error) {
      if (completion) completion(std::move(path), error);
    };
    const auto normalized = normalize(relativeRemotePath);
    if (flag->cancelled() || !normalized || normalized->empty()) {
      return answer(std::nullopt, BackupSDKError::delegateFileDownloadFailed);
    }
    FileDescriptor in(
        ::open(config->pathOf(*normalized).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!in.valid() || ::fstat(in.get(), &info) != 0) {
      const bool missing = errno == ENOENT || errno == ENOTDIR;
      return answer(std::nullopt, missing ? BackupSDKError::delegateFileDoesNotExist
                                          : BackupSDKError::delegateFileDownloadFailed);
    }
    if (!S_ISREG(info.st_mode)) {
      return answer(std::nullopt, BackupSDKError::delegateFileDownloadFailed);
    }
    std::error_code ignored;
    fs::create_directories(config->downloadFolder, ignored);
    std::string temporary;
    FileDescriptor out = makeTemporary(config->downloadFolder, "download-", temporary);
    if (!out.valid()) return answer(std::nullopt, BackupSDKError::delegateFileDownloadFailed);
    Room unlimited(config->root, std::nullopt);
    int failure = copyData(in.get(), out.get(), info.st_size, *flag, progress, unlimited);
    if (const int closed = out.close(); failure == 0) failure = closed;
    if (failure != 0) {
      ::unlink(temporary.c_str());
      return answer(std::nullopt, BackupSDKError::delegateFileDownloadFailed);
    }
    if (progress && info.st_size == 0) progress(TransferProgress{1.0});
    answer(temporary, std::nullopt);
  });
  return flag;
}

void LocalFolderDelegate::createDirectory(
    const std::string& relativeRemotePath,
    std::function<void(bool, std::optional<Error>)> completion) {
  worker_->post([config = config_, relativeRemotePath, completion = std::move(completion)] {
    if (!completion) return;
    const auto normalized = normalize(relativeRemotePath);
    if (!normalized) return completion(false, refusedPath(relativeRemotePath));
    const fs::path path = config->pathOf(*normalized);
    std::error_code error;
    const auto status = fs::symlink_status(path, error);
    if (fs::is_directory(status)) return completion(true, std::nullopt);
    if (fs::exists(status)) {
      return completion(false, posixError(EEXIST, relativeRemotePath + " is not a folder"));
    }
    fs::create_directories(path, error);
    if (error) {
      return completion(false, writeError(error.value(), "cannot create " + relativeRemotePath));
    }
    completion(false, std::nullopt);
  });
}

void LocalFolderDelegate::deleteFile(const std::string& relativeRemotePath,
                                     std::function<void(bool, std::optional<Error>)> completion) {
  worker_->post([config = config_, relativeRemotePath, completion = std::move(completion)] {
    if (!completion) return;
    const auto normalized = normalize(relativeRemotePath);
    if (!normalized || normalized->empty()) {
      return completion(false, refusedPath(relativeRemotePath));
    }
    const fs::path path = config->pathOf(*normalized);
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error))) {
      return completion(false, posixError(ENOENT, "nothing to delete at " + relativeRemotePath));
    }
    fs::remove_all(path, error);
    if (error) {
      return completion(false, posixError(error.value(), "cannot delete " + relativeRemotePath));
    }
    completion(true, std::nullopt);
  });
}

void LocalFolderDelegate::getDirectoryInfo(
    const std::string& relativeRemotePath,
    std::function<void(std::optional<Directory>, std::optional<Error>)> completion) {
  worker_->post([config = config_, relativeRemotePath, completion = std::move(completion)] {
    if (!completion) return;
    const auto normalized = normalize(relativeRemotePath);
    if (!normalized) return completion(std::nullopt, refusedPath(relativeRemotePath));
    const fs::path path = config->pathOf(*normalized);
    std::error_code error;
    const auto status = fs::symlink_status(path, error);
    if (!fs::is_directory(status)) {
      const int code = fs::exists(status) ? ENOTDIR : ENOENT;
      return completion(std::nullopt, posixError(code, "cannot list " + relativeRemotePath));
    }
    // Read with the folder open: a remote media folder holds a file per stored item, and each
    // entry costs its directory record plus, for a file, one stat relative to the folder.
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
      return completion(std::nullopt, posixError(errno, "cannot list " + relativeRemotePath));
    DIR* const stream = ::fdopendir(fd);
    if (stream == nullptr) {
      const int code = errno;
      ::close(fd);
      return completion(std::nullopt, posixError(code, "cannot list " + relativeRemotePath));
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> closer(stream, &::closedir);
    const std::string prefix = normalized->empty() ? std::string() : *normalized + "/";
    Directory directory;
    while (true) {
      errno = 0;
      const dirent* const entry = ::readdir(stream);
      if (entry == nullptr) break;
      const std::string_view name(entry->d_name);
      if (name == "." || name == "..") continue;
      Member member;
      member.fullName = prefix + entry->d_name;
      struct stat info {};
      if (entry->d_type == DT_DIR) {
        member.type = MemberType::directory;
      } else if ((entry->d_type == DT_REG || entry->d_type == DT_UNKNOWN) &&
                 ::fstatat(::dirfd(stream), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(info.st_mode)) member.type = MemberType::directory;
        if (S_ISREG(info.st_mode)) member.fileSizeInByte = static_cast<int64_t>(info.st_size);
      }
      directory.members.push_back(std::move(member));
    }
    if (errno != 0) {
      return completion(std::nullopt, posixError(errno, "cannot list " + relativeRemotePath));
    }
    std::sort(directory.members.begin(), directory.members.end(),
              [](const Member& a, const Member& b) { return a.fullName < b.fullName; });
    completion(std::move(directory), std::nullopt);
  });
}

void LocalFolderDelegate::inflateZip(const std::string& remoteSrcPath,
                                     const std::string& remoteDstPath,
                                     std::function<void(std::optional<Error>)> completion) {
  worker_->post(
      [config = config_, remoteSrcPath, remoteDstPath, completion = std::move(completion)] {
        const auto source = normalize(remoteSrcPath);
        const auto destination = normalize(remoteDstPath);
        std::optional<Error> result;
        if (!source || source->empty()) {
          result = refusedPath(remoteSrcPath);
        } else if (!destination) {
          result = refusedPath(remoteDstPath);
        } else {
          Room room(config->root, config->capacity);
          result = SafeZipExtractor(config->pathOf(*source), config->pathOf(*destination),
                                    [&room](int64_t bytes) { return room.take(bytes) == 0; })
                       .run();
        }
        if (completion) completion(std::move(result));
      });
}

}  // namespace tessellon::hosts
