#include "delegates/ObjectStoreDelegate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "delegates/ArchiveUploader.h"
#include "delegates/BeneathRoot.h"
#include "delegates/FileDescriptor.h"
#include "delegates/LocalFolderError.h"
#include "delegates/ObjectStore.h"
#include "delegates/RemotePath.h"
#include "delegates/TransferFlag.h"
#include "delegates/WorkerPool.h"

namespace tessellon::hosts {

namespace fs = std::filesystem;

namespace {

constexpr const char* kStagingPrefix = "remote-staging-";

// The device folders sit at the top of the remote; the lock and the documents go up there.
bool isTopFolder(const std::string& key) {
  return !key.empty() && key.find('/') == std::string::npos;
}

// Reads until `size` bytes or the end of the file; -1 on an error.
ssize_t readFull(int fd, char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, data + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

// Whether two local files hold the same bytes, read a block at a time.
bool sameContent(const std::string& one, const std::string& other) {
  FileDescriptor a(::open(one.c_str(), O_RDONLY | O_CLOEXEC));
  FileDescriptor b(::open(other.c_str(), O_RDONLY | O_CLOEXEC));
  if (!a.valid() || !b.valid()) return false;
  std::vector<char> left(size_t{64} * 1024);
  std::vector<char> right(size_t{64} * 1024);
  for (;;) {
    const ssize_t got = readFull(a.get(), left.data(), left.size());
    if (got < 0 || readFull(b.get(), right.data(), right.size()) != got) return false;
    if (got == 0) return true;
    if (std::memcmp(left.data(), right.data(), static_cast<size_t>(got)) != 0) return false;
  }
}

using StoreRequest = std::optional<Error> (ObjectStore::*)(const std::string&, const std::string&,
                                                           StoreAnswer&);

// A copy or move with its paths checked: neither the root nor a path that leaves it reaches the
// store, nor a folder moved below itself (which S3 would carry out object by object).
void copyOrMove(ObjectStore& store, StoreRequest request, const std::string& from,
                const std::string& to,
                const std::function<void(StoreAnswer, std::optional<Error>)>& completion) {
  if (!completion) return;
  const auto source = normalizeRemotePath(from);
  const auto target = normalizeRemotePath(to);
  if (!source || source->empty()) return completion(StoreAnswer::done, refusedPath(from));
  if (!target || target->empty()) return completion(StoreAnswer::done, refusedPath(to));
  if (*target == *source || target->starts_with(*source + "/")) {
    return completion(StoreAnswer::done, posixError(EINVAL, to + " is within " + from));
  }
  StoreAnswer answer = StoreAnswer::done;
  std::optional<Error> error = (store.*request)(*source, *target, answer);
  completion(answer, std::move(error));
}

}  // namespace

struct ObjectStoreDelegate::State {
  std::shared_ptr<ObjectStore> store;
  int64_t zipSize = kDefaultZipSize;
  size_t transfers = kDefaultTransfers;
  std::string workFolder;
  std::string downloadPrefix;
  // Holds the archives that never cross, by remote key, and their extraction.
  std::string staging;

  std::mutex mutex;
  std::map<std::string, std::string> staged;  // remote key -> file name in `staging`
  uint64_t nextArchive = 0;

  std::string stagedName() {
    std::lock_guard lock(mutex);
    return "archive-" + std::to_string(nextArchive++) + ".zip";
  }
  std::optional<std::string> stagedFor(const std::string& key) {
    std::lock_guard lock(mutex);
    const auto found = staged.find(key);
    if (found == staged.end()) return std::nullopt;
    return found->second;
  }
  void stage(const std::string& key, const std::string& name) {
    std::lock_guard lock(mutex);
    auto& slot = staged[key];
    if (!slot.empty()) (void)::unlink((staging + "/" + slot).c_str());
    slot = name;
  }
  // Whether the remote file `key` holds exactly the bytes of the local file; false when it
  // cannot be read.
  bool holdsContentOf(const std::string& key, const std::string& localPath) {
    std::string copy = workFolder + "/" + downloadPrefix + "XXXXXX";
    FileDescriptor made(::mkostemp(copy.data(), O_CLOEXEC));
    if (!made.valid()) return false;
    (void)made.close();
    StoreAnswer found = StoreAnswer::done;
    const bool same = !store->getFile(key, copy, TransferHooks{}, found) &&
                      found == StoreAnswer::done && sameContent(copy, localPath);
    (void)::unlink(copy.c_str());
    return same;
  }
  // Drops the staged archives at `key` or below it; whether there was any.
  bool unstage(const std::string& key) {
    std::lock_guard lock(mutex);
    bool any = false;
    for (auto it = staged.begin(); it != staged.end();) {
      if (it->first == key || it->first.starts_with(key + "/") || key.empty()) {
        (void)::unlink((staging + "/" + it->second).c_str());
        it = staged.erase(it);
        any = true;
      } else {
        ++it;
      }
    }
    return any;
  }
};

ObjectStoreDelegate::ObjectStoreDelegate(std::shared_ptr<ObjectStore> store, int64_t zipSize,
                                         int transfers, std::optional<std::string> workFolder)
    : state_([&] {
        auto state = std::make_shared<State>();
        state->store = std::move(store);
        state->zipSize = zipSize;
        state->transfers = static_cast<size_t>(std::max(transfers, 1));
        state->workFolder = workFolder ? *workFolder : temporaryFolder();
        state->downloadPrefix = workFolder ? "download-" : "tessellon-download-";
        // Private from the start: the library checks that its temporary folder is.
        std::error_code ignored;
        fs::create_directories(fs::path(state->workFolder).parent_path(), ignored);
        (void)::mkdir(state->workFolder.c_str(), 0700);
        // A killed process leaves its staging folder behind; its name says whose it was.
        if (FileDescriptor work(
                ::open(state->workFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            work.valid()) {
          beneath::removeDeadTemporaries(work.get(), {kStagingPrefix});
        }
        std::string staging =
            state->workFolder + "/" + beneath::ownedPrefix(kStagingPrefix) + "XXXXXX";
        if (::mkdtemp(staging.data()) != nullptr) state->staging = staging;
        return state;
      }()),
      // One more thread than transfers: an inflation keeps one busy while its own threads upload.
      workers_(WorkerPool::start(state_->transfers + 1)) {}

ObjectStoreDelegate::~ObjectStoreDelegate() {
  workers_->stop();
  if (!state_->staging.empty()) {
    std::error_code ignored;
    fs::remove_all(state_->staging, ignored);
  }
}

int64_t ObjectStoreDelegate::getZipSize() { return state_->zipSize; }

std::shared_ptr<CancellationDelegate> ObjectStoreDelegate::uploadFile(
    const std::string& localPath, const std::string& relativeRemotePath,
    std::function<void(const TransferProgress&)> progress,
    std::function<void(std::optional<Error>)> completion) {
  auto flag = std::make_shared<TransferFlag>();
  workers_->post([state = state_, flag, localPath, relativeRemotePath,
                  progress = std::move(progress), completion = std::move(completion)] {
    auto answer = [&](std::optional<Error> error) {
      if (completion) completion(std::move(error));
    };
    if (flag->cancelled()) return answer(transferCancelled());
    const auto key = normalizeRemotePath(relativeRemotePath);
    if (!key || key->empty()) return answer(refusedPath(relativeRemotePath));
    auto report = [&progress](double fraction) {
      if (progress) progress(TransferProgress{std::clamp(fraction, 0.0, 1.0)});
    };
    if (isArchive(*key) && !state->staging.empty()) {
      // The library never rewrites a finished archive in place, so a link is as good as a copy.
      const std::string name = state->stagedName();
      const std::string target = state->staging + "/" + name;
      std::error_code failed;
      if (::link(localPath.c_str(), target.c_str()) != 0) fs::copy_file(localPath, target, failed);
      if (failed) return answer(posixError(failed.value(), "cannot keep the archive " + localPath));
      state->stage(*key, name);
      report(1.0);
      return answer(std::nullopt);
    }
    answer(state->store->putFile(localPath, *key, TransferHooks{flag->flag(), report}));
  });
  return flag;
}

std::shared_ptr<CancellationDelegate> ObjectStoreDelegate::downloadFile(
    const std::string& relativeRemotePath, std::function<void(const TransferProgress&)> progress,
    std::function<void(std::optional<std::string>, std::optional<BackupSDKError>)> completion) {
  auto flag = std::make_shared<TransferFlag>();
  workers_->post([state = state_, flag, relativeRemotePath, progress = std::move(progress),
                  completion = std::move(completion)] {
    auto answer = [&](std::optional<std::string> path, std::optional<BackupSDKError> error) {
      if (completion) completion(std::move(path), error);
    };
    const auto key = normalizeRemotePath(relativeRemotePath);
    if (flag->cancelled() || !key || key->empty()) {
      return answer(std::nullopt, BackupSDKError::delegateFileDownloadFailed);
    }
    std::error_code ignored;
    fs::create_directories(state->workFolder, ignored);
    // mkostemp makes the file 0600: a document of the user's may land in a shared folder.
    std::string temporary = state->workFolder + "/" + state->downloadPrefix + "XXXXXX";
    FileDescriptor made(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!made.valid()) return answer(std::nullopt, BackupSDKError::delegateFileDownloadFailed);
    (void)made.close();
    StoreAnswer found = StoreAnswer::done;
    auto report = [&progress](double fraction) {
      if (progress) progress(TransferProgress{std::clamp(fraction, 0.0, 1.0)});
    };
    const std::optional<Error> error =
        state->store->getFile(*key, temporary, TransferHooks{flag->flag(), report}, found);
    if (error || found != StoreAnswer::done) {
      ::unlink(temporary.c_str());
      return answer(std::nullopt, !error && found == StoreAnswer::missing
                                      ? BackupSDKError::delegateFileDoesNotExist
                                      : BackupSDKError::delegateFileDownloadFailed);
    }
    answer(temporary, std::nullopt);
  });
  return flag;
}

std::shared_ptr<CancellationDelegate> ObjectStoreDelegate::readFile(
    const std::string& relativeRemotePath, std::function<bool(const char*, size_t)> consume,
    std::function<void(std::optional<BackupSDKError>)> completion) {
  auto flag = std::make_shared<TransferFlag>();
  workers_->post([state = state_, flag, relativeRemotePath, consume = std::move(consume),
                  completion = std::move(completion)] {
    auto answer = [&](std::optional<BackupSDKError> error) {
      if (completion) completion(error);
    };
    const auto key = normalizeRemotePath(relativeRemotePath);
    if (flag->cancelled() || !key || key->empty() || !consume) {
      return answer(BackupSDKError::delegateFileDownloadFailed);
    }
    StoreAnswer found = StoreAnswer::done;
    const std::optional<Error> error =
        state->store->readFile(*key, consume, TransferHooks{flag->flag(), nullptr}, found);
    if (error) return answer(BackupSDKError::delegateFileDownloadFailed);
    if (found == StoreAnswer::missing) return answer(BackupSDKError::delegateFileDoesNotExist);
    answer(std::nullopt);
  });
  return flag;
}

void ObjectStoreDelegate::uploadFileIfAbsent(
    const std::string& localPath, const std::string& relativeRemotePath,
    std::function<void(bool, std::optional<Error>)> completion) {
  workers_->post(
      [state = state_, localPath, relativeRemotePath, completion = std::move(completion)] {
        if (!completion) return;
        const auto key = normalizeRemotePath(relativeRemotePath);
        if (!key || key->empty()) return completion(false, refusedPath(relativeRemotePath));
        StoreAnswer answer = StoreAnswer::done;
        std::optional<Error> error = state->store->putFileIfAbsent(localPath, *key, answer);
        if (!error && answer == StoreAnswer::exists && state->holdsContentOf(*key, localPath)) {
          // A retried create whose first attempt landed meets its own file. The caller's content
          // names it (the lock record holds host, process and start), so the same bytes are ours.
          answer = StoreAnswer::done;
        }
        completion(!error && answer == StoreAnswer::done, std::move(error));
      });
}

void ObjectStoreDelegate::createDirectory(
    const std::string& relativeRemotePath,
    std::function<void(bool, std::optional<Error>)> completion) {
  workers_->post([state = state_, relativeRemotePath, completion = std::move(completion)] {
    if (!completion) return;
    const auto key = normalizeRemotePath(relativeRemotePath);
    if (!key) return completion(false, refusedPath(relativeRemotePath));
    StoreAnswer answer = StoreAnswer::done;
    std::optional<Error> error = state->store->makeFolder(*key, answer);
    // Each run makes sure of its device folder first: the moment to clear what a killed run
    // left there. The media folders below it are the library's clean-up's, which deletes every
    // name its record does not hold, and listing them here would cost a run dearly.
    if (!error && answer == StoreAnswer::exists && isTopFolder(*key)) {
      state->store->removeStaleUploads(*key);
    }
    completion(!error && answer == StoreAnswer::exists, std::move(error));
  });
}

void ObjectStoreDelegate::deleteFile(const std::string& relativeRemotePath,
                                     std::function<void(bool, std::optional<Error>)> completion) {
  workers_->post([state = state_, relativeRemotePath, completion = std::move(completion)] {
    if (!completion) return;
    const auto key = normalizeRemotePath(relativeRemotePath);
    if (!key || key->empty()) return completion(false, refusedPath(relativeRemotePath));
    const bool wasStaged = state->unstage(*key);
    StoreAnswer answer = StoreAnswer::done;
    std::optional<Error> error = state->store->remove(*key, answer);
    if (error) return completion(false, std::move(error));
    if (answer == StoreAnswer::missing && !wasStaged) {
      return completion(false, posixError(ENOENT, "nothing to delete at " + relativeRemotePath));
    }
    completion(true, std::nullopt);
  });
}

void ObjectStoreDelegate::getDirectoryInfo(
    const std::string& relativeRemotePath,
    std::function<void(std::optional<Directory>, std::optional<Error>)> completion) {
  workers_->post([state = state_, relativeRemotePath, completion = std::move(completion)] {
    if (!completion) return;
    const auto key = normalizeRemotePath(relativeRemotePath);
    if (!key) return completion(std::nullopt, refusedPath(relativeRemotePath));
    std::vector<StoredMember> members;
    StoreAnswer answer = StoreAnswer::done;
    if (auto error = state->store->list(*key, members, answer)) {
      return completion(std::nullopt, std::move(error));
    }
    if (answer == StoreAnswer::missing) {
      return completion(std::nullopt, posixError(ENOENT, "cannot list " + relativeRemotePath));
    }
    Directory directory;
    for (StoredMember& member : members) {
      directory.members.push_back(Member{std::move(member.key), member.folder ? 0 : member.size,
                                         member.folder ? MemberType::directory : MemberType::file});
    }
    std::sort(directory.members.begin(), directory.members.end(),
              [](const Member& a, const Member& b) { return a.fullName < b.fullName; });
    completion(std::move(directory), std::nullopt);
  });
}

void ObjectStoreDelegate::inflateZip(const std::string& remoteSrcPath,
                                     const std::string& remoteDstPath,
                                     std::function<void(std::optional<Error>)> completion) {
  workers_->post([state = state_, remoteSrcPath, remoteDstPath,
                  completion = std::move(completion)] {
    auto answer = [&](std::optional<Error> error) {
      if (completion) completion(std::move(error));
    };
    const auto source = normalizeRemotePath(remoteSrcPath);
    const auto destination = normalizeRemotePath(remoteDstPath);
    if (!source || source->empty()) return answer(refusedPath(remoteSrcPath));
    if (!destination) return answer(refusedPath(remoteDstPath));
    if (state->staging.empty()) return answer(posixError(ENOENT, "no staging folder"));
    std::optional<std::string> name = state->stagedFor(*source);
    if (!name) {
      // Put there by another host, or left by a run that ended before inflating it.
      name = state->stagedName();
      StoreAnswer found = StoreAnswer::done;
      if (auto error = state->store->getFile(*source, state->staging + "/" + *name, TransferHooks{},
                                             found)) {
        return answer(std::move(error));
      }
      if (found != StoreAnswer::done) {
        (void)::unlink((state->staging + "/" + *name).c_str());
        return answer(posixError(ENOENT, "no archive at " + remoteSrcPath));
      }
      state->stage(*source, *name);
    }
    answer(ArchiveUploader(*state->store, state->staging, {*name}, *destination, state->transfers)
               .run());
  });
}

void ObjectStoreDelegate::copyFile(
    const std::string& from, const std::string& to,
    std::function<void(StoreAnswer, std::optional<Error>)> completion) {
  workers_->post([state = state_, from, to, completion = std::move(completion)] {
    copyOrMove(*state->store, &ObjectStore::copy, from, to, completion);
  });
}

void ObjectStoreDelegate::moveFile(
    const std::string& from, const std::string& to,
    std::function<void(StoreAnswer, std::optional<Error>)> completion) {
  workers_->post([state = state_, from, to, completion = std::move(completion)] {
    copyOrMove(*state->store, &ObjectStore::move, from, to, completion);
  });
}

}  // namespace tessellon::hosts
