#include "delegates/LocalFolderDelegate.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "delegates/BeneathRoot.h"
#include "delegates/FileDescriptor.h"
#include "delegates/LocalFolderError.h"
#include "delegates/RemotePath.h"
#include "delegates/SafeZipExtractor.h"
#include "delegates/TransferFlag.h"
#include "delegates/WorkerPool.h"

namespace tessellon::hosts {

namespace fs = std::filesystem;

namespace {

// In-kernel copies go in chunks large enough to cost nothing per byte, small
// enough for prompt progress and cancellation.
constexpr int64_t kChunkSize = int64_t{8} * 1024 * 1024;
// Buffered copies (across file systems) use small writes: on ext4 under
// writeback, 1 MiB writes measured two to four times slower than 64 KiB ones.
constexpr size_t kBufferSize = size_t{64} * 1024;
// Reads streamed to the library: large enough that a call costs nothing per byte.
constexpr size_t kReadSize = size_t{1024} * 1024;

// The library's documents (its locks and records), small beside its media files and archives.
// Told by name: the caller's thread never waits for the disk.
bool isDocument(const std::string& relativeRemotePath) {
  return relativeRemotePath.ends_with(".json");
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
      // A stored link counts as nothing: its target is not the remote's.
      if (it->symlink_status(error).type() == fs::file_type::regular) {
        used += static_cast<int64_t>(it->file_size(error));
      }
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
    if (progress)
      progress(TransferProgress{static_cast<double>(copied) / static_cast<double>(size)});
  }
}

// The open folder holding the last of `parts` below the root, and that last name.
struct Parent {
  FileDescriptor folder;
  std::string name;
};

// 0 and `parent` set, or the errno of the first step that failed (a link on the way: ELOOP or
// ENOTDIR). `parts` must not be empty.
int openParent(const std::string& root, const std::vector<std::string>& parts, bool create,
               Parent& parent) {
  FileDescriptor rootFolder;
  if (const int failed = beneath::openRoot(root, rootFolder)) return failed;
  parent.name = parts.back();
  return beneath::openFolder(rootFolder.get(), parts, parts.size() - 1, create, parent.folder);
}

// Types and sizes of a listing's members (named `members[i].fullName` from `nameAt` on) by one
// stat each relative to the open folder. A media folder holds a file per stored item and the
// stats are most of its listing's time, so a large one is shared among a few threads.
void statMembers(int folder, size_t nameAt, const std::vector<unsigned char>& types,
                 std::vector<Member>& members) {
  auto statRange = [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      Member& member = members[i];
      if (types[i] == DT_DIR) {
        member.type = MemberType::directory;
        continue;
      }
      struct stat info {};
      if ((types[i] == DT_REG || types[i] == DT_UNKNOWN) &&
          ::fstatat(folder, member.fullName.c_str() + nameAt, &info, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(info.st_mode)) member.type = MemberType::directory;
        if (S_ISREG(info.st_mode)) member.fileSizeInByte = static_cast<int64_t>(info.st_size);
      }
    }
  };
  constexpr size_t kPerThread = 8192;
  const size_t threads = std::clamp<size_t>(
      members.size() / kPerThread, 1, std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
  const size_t share = (members.size() + threads - 1) / threads;
  std::vector<std::jthread> helpers;
  for (size_t begin = share; begin < members.size(); begin += share) {
    helpers.emplace_back(statRange, begin, std::min(begin + share, members.size()));
  }
  statRange(0, std::min(share, members.size()));
}

// Opens the stored file at `relative` for reading, never through a link; none, or what to answer
// a download or read of it.
std::optional<BackupSDKError> openStored(const std::string& root, const std::string& relative,
                                         FileDescriptor& in, struct stat& info) {
  const auto normalized = normalizeRemotePath(relative);
  if (!normalized || normalized->empty()) return BackupSDKError::delegateFileDownloadFailed;
  Parent source;
  int failed = openParent(root, beneath::components(*normalized), false, source);
  if (failed == 0) {
    in = FileDescriptor(::openat(source.folder.get(), source.name.c_str(),
                                 O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!in.valid()) failed = errno;
  }
  if (failed == 0 && ::fstat(in.get(), &info) != 0) failed = errno;
  if (failed == ENOENT || failed == ENOTDIR) return BackupSDKError::delegateFileDoesNotExist;
  if (failed != 0 || !S_ISREG(info.st_mode)) return BackupSDKError::delegateFileDownloadFailed;
  return std::nullopt;
}

using VersionsCompletion = std::function<void(StoreAnswer, std::optional<Error>)>;

// Opens the folders holding `from` and `to` below the root, never through a link, and reads
// what `from` is into `info`. False when the request ends here, answered through `completion`.
bool openEnds(const std::string& root, const std::string& from, const std::string& to,
              Parent& source, Parent& target, struct stat& info,
              const VersionsCompletion& completion) {
  const auto normalizedFrom = normalizeRemotePath(from);
  const auto normalizedTo = normalizeRemotePath(to);
  if (!normalizedFrom || normalizedFrom->empty()) {
    completion(StoreAnswer::done, refusedPath(from));
    return false;
  }
  if (!normalizedTo || normalizedTo->empty()) {
    completion(StoreAnswer::done, refusedPath(to));
    return false;
  }
  if (*normalizedTo == *normalizedFrom || normalizedTo->starts_with(*normalizedFrom + "/")) {
    completion(StoreAnswer::done, posixError(EINVAL, to + " is within " + from));
    return false;
  }
  int failed = openParent(root, beneath::components(*normalizedFrom), false, source);
  if (failed == 0 &&
      ::fstatat(source.folder.get(), source.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    failed = errno;
  }
  if (failed == ENOENT || failed == ENOTDIR) {
    completion(StoreAnswer::missing, std::nullopt);
    return false;
  }
  // A stored link is refused like a link on the way: its copy would lead where it leads.
  if (failed == 0 && S_ISLNK(info.st_mode)) failed = ELOOP;
  if (failed != 0) {
    completion(StoreAnswer::done, posixError(failed, "cannot take " + from));
    return false;
  }
  if (const int missingFolder =
          openParent(root, beneath::components(*normalizedTo), false, target)) {
    completion(StoreAnswer::done, posixError(missingFolder, "no folder for " + to));
    return false;
  }
  return true;
}

// Copies the bytes of `source` (described by `info`) to a new file at `target`, where the file
// system cannot link: EEXIST when something is there, which stays.
int copyBytes(const Parent& source, const Parent& target, const struct stat& info, Room& room) {
  FileDescriptor in(::openat(source.folder.get(), source.name.c_str(),
                             O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  if (!in.valid()) return errno;
  const int folder = target.folder.get();
  std::string temporary;
  FileDescriptor out;
  if (const int failed = beneath::createTemporary(folder, beneath::kUploadPrefix, temporary, out)) {
    return failed;
  }
  const TransferFlag uncancellable;
  int failure = copyData(in.get(), out.get(), info.st_size, uncancellable, nullptr, room);
  if (const int closed = out.close(); failure == 0) failure = closed;
  if (failure == 0 &&
      ::renameat2(folder, temporary.c_str(), folder, target.name.c_str(), RENAME_NOREPLACE) != 0) {
    failure = errno;
  }
  if (failure != 0) ::unlinkat(folder, temporary.c_str(), 0);
  return failure;
}

// The answer for what a copy or move ended with.
void answerVersions(int failed, const std::string& what, const VersionsCompletion& completion) {
  if (failed == 0) return completion(StoreAnswer::done, std::nullopt);
  if (failed == EEXIST) return completion(StoreAnswer::exists, std::nullopt);
  if (failed == ENOENT) return completion(StoreAnswer::missing, std::nullopt);  // gone meanwhile
  completion(StoreAnswer::done, writeError(failed, what));
}

}  // namespace

struct LocalFolderDelegate::Config {
  std::string root;
  int64_t zipSize = kDefaultZipSize;
  std::optional<int64_t> capacity;
  std::string downloadFolder;
  // "download-" in the host's own folder, or a name that says whose file it is in a shared one.
  std::string downloadPrefix;

  std::string pathOf(const std::string& normalized) const {
    return normalized.empty() ? root : root + "/" + normalized;
  }

  // Before this remote's first temporary file in a folder, what a killed run left there goes.
  // A listing clears the folders it reads, so media folders are never read twice for this.
  void sweepOnce(const std::string& normalizedFolder, int folder) const {
    {
      const std::lock_guard lock(sweptMutex);
      if (!swept.insert(normalizedFolder).second) return;
    }
    beneath::removeDeadTemporaries(folder, {beneath::kUploadPrefix, beneath::kInflatePrefix});
  }
  mutable std::mutex sweptMutex;
  mutable std::unordered_set<std::string> swept;
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
          config->downloadPrefix = "download-";
        } else {
          config->downloadFolder = temporaryFolder();
          config->downloadPrefix = "tessellon-download-";
        }
        std::error_code ignored;
        fs::create_directories(config->root, ignored);
        return std::shared_ptr<const Config>(std::move(config));
      }()),
      worker_(WorkerPool::start(1)),
      quick_(WorkerPool::start(1)) {}

LocalFolderDelegate::~LocalFolderDelegate() {
  worker_->stop();
  quick_->stop();
}

void LocalFolderDelegate::post(bool quick, std::function<void()> task) const {
  (quick && !config_->capacity ? quick_ : worker_)->post(std::move(task));
}

const std::string& LocalFolderDelegate::rootFolder() const { return config_->root; }

int64_t LocalFolderDelegate::getZipSize() { return config_->zipSize; }

std::shared_ptr<CancellationDelegate> LocalFolderDelegate::uploadFile(
    const std::string& localPath, const std::string& relativeRemotePath, Progress progress,
    std::function<void(std::optional<Error>)> completion) {
  auto flag = std::make_shared<TransferFlag>();
  post(isDocument(relativeRemotePath), [config = config_, flag, localPath, relativeRemotePath,
                                        progress = std::move(progress),
                                        completion = std::move(completion)] {
    auto answer = [&](std::optional<Error> error) {
      if (completion) completion(std::move(error));
    };
    if (flag->cancelled()) return answer(transferCancelled());
    const auto normalized = normalizeRemotePath(relativeRemotePath);
    if (!normalized || normalized->empty()) return answer(refusedPath(relativeRemotePath));
    Parent target;
    if (const int failed =
            openParent(config->root, beneath::components(*normalized), false, target)) {
      return answer(writeError(failed, "cannot upload to " + relativeRemotePath));
    }
    const int folder = target.folder.get();
    config->sweepOnce(fs::path(*normalized).parent_path().string(), folder);

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
    // The rename replaces whatever has the name, a stored link included, and
    // never writes through it.
    if (!config->capacity && isArchive(target.name)) {
      thread_local std::mt19937_64 random{std::random_device{}()};
      const std::string linked =
          beneath::ownedPrefix(beneath::kUploadPrefix) + std::to_string(random());
      if (::linkat(AT_FDCWD, localPath.c_str(), folder, linked.c_str(), 0) == 0) {
        if (::renameat(folder, linked.c_str(), folder, target.name.c_str()) == 0) {
          if (progress) progress(TransferProgress{1.0});
          return answer(std::nullopt);
        }
        ::unlinkat(folder, linked.c_str(), 0);
      }
    }
    std::string temporary;
    FileDescriptor out;
    if (const int failed =
            beneath::createTemporary(folder, beneath::kUploadPrefix, temporary, out)) {
      return answer(writeError(failed, "cannot upload to " + relativeRemotePath));
    }

    Room room(config->root, config->capacity);
    int failure = copyData(in.get(), out.get(), info.st_size, *flag, progress, room);
    if (const int closed = out.close(); failure == 0) failure = closed;
    if (failure == 0 && ::renameat(folder, temporary.c_str(), folder, target.name.c_str()) != 0) {
      failure = errno;
    }
    if (failure != 0) {
      ::unlinkat(folder, temporary.c_str(), 0);
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
  const bool document = isDocument(relativeRemotePath);
  post(document, [config = config_, flag, relativeRemotePath, progress = std::move(progress),
                  completion = std::move(completion)] {
    auto answer = [&](std::optional<std::string> path, std::optional<BackupSDKError> error) {
      if (completion) completion(std::move(path), error);
    };
    if (flag->cancelled()) return answer(std::nullopt, BackupSDKError::delegateFileDownloadFailed);
    FileDescriptor in;
    struct stat info {};
    if (const auto refused = openStored(config->root, relativeRemotePath, in, info)) {
      return answer(std::nullopt, *refused);
    }
    std::error_code ignored;
    fs::create_directories(config->downloadFolder, ignored);
    // mkostemp makes the file 0600: a document of the user's lies in a shared folder here.
    std::string temporary = config->downloadFolder + "/" + config->downloadPrefix + "XXXXXX";
    FileDescriptor out(::mkostemp(temporary.data(), O_CLOEXEC));
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

std::shared_ptr<CancellationDelegate> LocalFolderDelegate::readFile(
    const std::string& relativeRemotePath, std::function<bool(const char*, size_t)> consume,
    std::function<void(std::optional<BackupSDKError>)> completion) {
  auto flag = std::make_shared<TransferFlag>();
  const bool document = isDocument(relativeRemotePath);
  post(document, [config = config_, flag, relativeRemotePath, consume = std::move(consume),
                  completion = std::move(completion)] {
    auto answer = [&](std::optional<BackupSDKError> error) {
      if (completion) completion(error);
    };
    FileDescriptor in;
    struct stat info {};
    if (const auto refused = openStored(config->root, relativeRemotePath, in, info)) {
      return answer(*refused);
    }
    (void)::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    std::vector<char> buffer(kReadSize);
    for (;;) {
      if (flag->cancelled()) return answer(BackupSDKError::delegateFileDownloadFailed);
      const ssize_t got = ::read(in.get(), buffer.data(), buffer.size());
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return answer(BackupSDKError::delegateFileDownloadFailed);
      if (got == 0 || !consume(buffer.data(), static_cast<size_t>(got))) break;
    }
    answer(std::nullopt);
  });
  return flag;
}

void LocalFolderDelegate::createDirectory(
    const std::string& relativeRemotePath,
    std::function<void(bool, std::optional<Error>)> completion) {
  post(true, [config = config_, relativeRemotePath, completion = std::move(completion)] {
    if (!completion) return;
    const auto normalized = normalizeRemotePath(relativeRemotePath);
    if (!normalized) return completion(false, refusedPath(relativeRemotePath));
    if (normalized->empty()) return completion(true, std::nullopt);
    Parent target;
    if (const int failed =
            openParent(config->root, beneath::components(*normalized), true, target)) {
      return completion(false, writeError(failed, "cannot create " + relativeRemotePath));
    }
    if (::mkdirat(target.folder.get(), target.name.c_str(), 0755) == 0) {
      return completion(false, std::nullopt);
    }
    const int code = errno;
    struct stat info {};
    if (code == EEXIST &&
        ::fstatat(target.folder.get(), target.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISDIR(info.st_mode)) return completion(true, std::nullopt);
      return completion(false, posixError(EEXIST, relativeRemotePath + " is not a folder"));
    }
    completion(false, writeError(code, "cannot create " + relativeRemotePath));
  });
}

void LocalFolderDelegate::deleteFile(const std::string& relativeRemotePath,
                                     std::function<void(bool, std::optional<Error>)> completion) {
  post(true, [config = config_, relativeRemotePath, completion = std::move(completion)] {
    if (!completion) return;
    const auto normalized = normalizeRemotePath(relativeRemotePath);
    if (!normalized || normalized->empty()) {
      return completion(false, refusedPath(relativeRemotePath));
    }
    Parent target;
    int failed = openParent(config->root, beneath::components(*normalized), false, target);
    struct stat info {};
    if (failed == 0 &&
        ::fstatat(target.folder.get(), target.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      failed = errno;
    }
    if (failed == ENOENT) {
      return completion(false, posixError(ENOENT, "nothing to delete at " + relativeRemotePath));
    }
    if (failed == 0) failed = beneath::removeAt(target.folder.get(), target.name);
    if (failed != 0) {
      return completion(false, posixError(failed, "cannot delete " + relativeRemotePath));
    }
    completion(true, std::nullopt);
  });
}

void LocalFolderDelegate::getDirectoryInfo(
    const std::string& relativeRemotePath,
    std::function<void(std::optional<Directory>, std::optional<Error>)> completion) {
  post(true, [config = config_, relativeRemotePath, completion = std::move(completion)] {
    if (!completion) return;
    const auto normalized = normalizeRemotePath(relativeRemotePath);
    if (!normalized) return completion(std::nullopt, refusedPath(relativeRemotePath));
    // Read with the folder open: a remote media folder holds a file per stored item, and each
    // entry costs its directory record plus, for a file, one stat relative to the folder.
    const std::vector<std::string> parts = beneath::components(*normalized);
    FileDescriptor root;
    FileDescriptor folder;
    int failed = beneath::openRoot(config->root, root);
    if (failed == 0) failed = beneath::openFolder(root.get(), parts, parts.size(), false, folder);
    // A stored link, to a folder or not, is no folder of the remote's.
    if (failed == ELOOP) failed = ENOTDIR;
    if (failed != 0) {
      return completion(std::nullopt, posixError(failed, "cannot list " + relativeRemotePath));
    }
    DIR* const stream = ::fdopendir(folder.get());
    if (stream == nullptr) {
      return completion(std::nullopt, posixError(errno, "cannot list " + relativeRemotePath));
    }
    (void)folder.release();
    const std::unique_ptr<DIR, int (*)(DIR*)> closer(stream, &::closedir);
    const std::string prefix = normalized->empty() ? std::string() : *normalized + "/";
    Directory directory;
    std::vector<unsigned char> types;
    std::vector<std::string> dead;
    while (true) {
      errno = 0;
      const dirent* const entry = ::readdir(stream);
      if (entry == nullptr) break;
      const std::string_view name(entry->d_name);
      if (name == "." || name == "..") continue;
      // Every name passes here anyway: the moment to clear what a killed run left.
      if (beneath::isDeadTemporary(name)) {
        dead.emplace_back(name);
        continue;
      }
      Member member;
      member.fullName = prefix + entry->d_name;
      directory.members.push_back(std::move(member));
      types.push_back(entry->d_type);
    }
    if (errno != 0) {
      return completion(std::nullopt, posixError(errno, "cannot list " + relativeRemotePath));
    }
    for (const std::string& name : dead) (void)::unlinkat(::dirfd(stream), name.c_str(), 0);
    statMembers(::dirfd(stream), prefix.size(), types, directory.members);
    // Every name starts with the folder's path: compare what follows it.
    const size_t from = prefix.size();
    std::sort(directory.members.begin(), directory.members.end(),
              [from](const Member& a, const Member& b) {
                return a.fullName.compare(from, std::string::npos, b.fullName, from,
                                          std::string::npos) < 0;
              });
    completion(std::move(directory), std::nullopt);
  });
}

void LocalFolderDelegate::inflateZip(const std::string& remoteSrcPath,
                                     const std::string& remoteDstPath,
                                     std::function<void(std::optional<Error>)> completion) {
  post(false, [config = config_, remoteSrcPath, remoteDstPath, completion = std::move(completion)] {
    const auto source = normalizeRemotePath(remoteSrcPath);
    const auto destination = normalizeRemotePath(remoteDstPath);
    std::optional<Error> result;
    if (!source || source->empty()) {
      result = refusedPath(remoteSrcPath);
    } else if (!destination) {
      result = refusedPath(remoteDstPath);
    } else {
      Room room(config->root, config->capacity);
      result = SafeZipExtractor(config->root, beneath::components(*source),
                                beneath::components(*destination),
                                [&room](int64_t bytes) { return room.take(bytes) == 0; })
                   .run();
    }
    if (completion) completion(std::move(result));
  });
}

void LocalFolderDelegate::uploadFileIfAbsent(
    const std::string& localPath, const std::string& relativeRemotePath,
    std::function<void(bool, std::optional<Error>)> completion) {
  post(isDocument(relativeRemotePath),
       [config = config_, localPath, relativeRemotePath, completion = std::move(completion)] {
         auto answer = [&](bool created, std::optional<Error> error) {
           if (completion) completion(created, std::move(error));
         };
         const auto normalized = normalizeRemotePath(relativeRemotePath);
         if (!normalized || normalized->empty())
           return answer(false, refusedPath(relativeRemotePath));

         FileDescriptor in(::open(localPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
         struct stat info {};
         if (!in.valid() || ::fstat(in.get(), &info) != 0) {
           const int code = errno;
           return answer(false, posixError(code, "cannot read " + localPath));
         }
         if (!S_ISREG(info.st_mode)) {
           return answer(false, posixError(EISDIR, localPath + " is not a file"));
         }
         // The parent folder is reached without following a link, as by every other request.
         Parent target;
         if (const int failed =
                 openParent(config->root, beneath::components(*normalized), false, target)) {
           return answer(false, writeError(failed, "cannot upload to " + relativeRemotePath));
         }
         const int folder = target.folder.get();
         config->sweepOnce(fs::path(*normalized).parent_path().string(), folder);
         std::string temporary;
         FileDescriptor out;
         if (const int failed =
                 beneath::createTemporary(folder, beneath::kUploadPrefix, temporary, out)) {
           return answer(false, writeError(failed, "cannot upload to " + relativeRemotePath));
         }
         Room room(config->root, config->capacity);
         const TransferFlag uncancellable;
         int failure = copyData(in.get(), out.get(), info.st_size, uncancellable, nullptr, room);
         if (const int closed = out.close(); failure == 0) failure = closed;

         // The file is complete before its name appears, so a reader never sees it half written.
         bool created = false;
         if (failure == 0) {
           if (::linkat(folder, temporary.c_str(), folder, target.name.c_str(), 0) == 0) {
             created = true;
           } else if (errno == EPERM || errno == EOPNOTSUPP) {
             // A file system without hard links: the kernel's exclusive rename does the same.
             if (::renameat2(folder, temporary.c_str(), folder, target.name.c_str(),
                             RENAME_NOREPLACE) == 0) {
               created = true;
             } else if (errno != EEXIST) {
               failure = errno;
             }
           } else if (errno != EEXIST) {
             failure = errno;
           }
         }
         ::unlinkat(folder, temporary.c_str(), 0);
         if (failure != 0) {
           return answer(false, writeError(failure, "cannot upload to " + relativeRemotePath));
         }
         answer(created, std::nullopt);
       });
}

void LocalFolderDelegate::copyFile(const std::string& from, const std::string& to,
                                   VersionsCompletion completion) {
  post(false, [config = config_, from, to, completion = std::move(completion)] {
    if (!completion) return;
    Parent source;
    Parent target;
    struct stat info {};
    if (!openEnds(config->root, from, to, source, target, info, completion)) return;
    if (S_ISDIR(info.st_mode)) {
      return completion(StoreAnswer::done, posixError(EISDIR, "cannot copy the folder " + from));
    }
    // Without AT_SYMLINK_FOLLOW: the name itself is linked, never what it might point to.
    int failed = ::linkat(source.folder.get(), source.name.c_str(), target.folder.get(),
                          target.name.c_str(), 0) == 0
                     ? 0
                     : errno;
    if (failed == EPERM || failed == EOPNOTSUPP || failed == EXDEV || failed == EMLINK) {
      Room room(config->root, config->capacity);
      failed = copyBytes(source, target, info, room);
    }
    answerVersions(failed, "cannot copy " + from + " to " + to, completion);
  });
}

void LocalFolderDelegate::moveFile(const std::string& from, const std::string& to,
                                   VersionsCompletion completion) {
  post(false, [config = config_, from, to, completion = std::move(completion)] {
    if (!completion) return;
    Parent source;
    Parent target;
    struct stat info {};
    if (!openEnds(config->root, from, to, source, target, info, completion)) return;
    const int sourceFolder = source.folder.get();
    const int targetFolder = target.folder.get();
    int failed = ::renameat2(sourceFolder, source.name.c_str(), targetFolder, target.name.c_str(),
                             RENAME_NOREPLACE) == 0
                     ? 0
                     : errno;
    if (failed == EINVAL && S_ISREG(info.st_mode)) {
      // A file system without the exclusive rename: a link refuses to replace just as well.
      failed =
          ::linkat(sourceFolder, source.name.c_str(), targetFolder, target.name.c_str(), 0) == 0
              ? 0
              : errno;
      if (failed == 0 && ::unlinkat(sourceFolder, source.name.c_str(), 0) != 0 && errno != ENOENT) {
        failed = errno;
      }
    }
    answerVersions(failed, "cannot move " + from + " to " + to, completion);
  });
}

}  // namespace tessellon::hosts
