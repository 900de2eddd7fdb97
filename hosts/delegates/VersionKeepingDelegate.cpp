#include "delegates/VersionKeepingDelegate.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "delegates/LocalFolderError.h"
#include "delegates/RemoteHistory.h"
#include "delegates/RemoteVersions.h"

namespace tessellon::hosts {

namespace {

using Done = std::function<void(std::optional<tessellon::Error>)>;
using Step = std::function<void(Done)>;

void inOrder(const std::shared_ptr<std::vector<Step>>& steps, size_t next, Done done) {
  if (next == steps->size()) return done(std::nullopt);
  (*steps)[next]([steps, next, done = std::move(done)](std::optional<tessellon::Error> error) {
    if (error) return done(std::move(error));
    inOrder(steps, next + 1, done);
  });
}

std::string deviceOf(const std::string& path) { return path.substr(0, path.find('/')); }

std::string nameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A file directly in a device folder that each run rewrites: the backup's record and the
// category documents, not the locks.
bool isRecord(const std::string& path) {
  const size_t slash = path.find('/');
  if (slash == std::string::npos || slash == 0 || path.find('/', slash + 1) != std::string::npos) {
    return false;
  }
  const std::string name = path.substr(slash + 1);
  return endsWith(name, ".json") && name != "lock.json" && name != "lock-takeover.json";
}

// A deletion the history keeps: any file below a device folder but the locks, the run's archives
// and the history itself.
bool keepsDeletion(const std::string& path) {
  const size_t slash = path.find('/');
  if (slash == std::string::npos || slash == 0) return false;
  const std::string rest = path.substr(slash + 1);
  if (rest.empty() || rest == RemoteHistory::kFolder ||
      rest.rfind(std::string(RemoteHistory::kFolder) + "/", 0) == 0) {
    return false;
  }
  if (endsWith(rest, ".zip")) return false;
  return rest.find('/') != std::string::npos || isRecord(path);
}

// A cancellation that reaches a transfer started later, after a version was kept.
class LaterTransfer final : public tessellon::CancellationDelegate {
 public:
  void cancel() override {
    std::shared_ptr<tessellon::CancellationDelegate> started;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      cancelled_ = true;
      started = started_;
    }
    if (started) started->cancel();
  }
  // False when cancelled before: the transfer must then not start.
  bool cancelled() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return cancelled_;
  }
  void started(const std::shared_ptr<tessellon::CancellationDelegate>& transfer) {
    bool cancelNow = false;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      started_ = transfer;
      cancelNow = cancelled_;
    }
    if (cancelNow && transfer) transfer->cancel();
  }

 private:
  std::mutex mutex_;
  bool cancelled_ = false;
  std::shared_ptr<tessellon::CancellationDelegate> started_;
};

}  // namespace

struct VersionKeepingDelegate::Run : std::enable_shared_from_this<Run> {
  std::shared_ptr<tessellon::BackupSDKDelegate> remote;
  std::shared_ptr<RemoteVersions> versions;
  std::string stateName;

  std::mutex mutex;
  std::set<std::string> handled;      // paths whose version from before the run is dealt with
  std::set<std::string> devicesDone;  // devices whose records were kept
  std::set<std::string> folders;      // folders of the state made so far
  std::set<std::string> uploaded;     // archives this run uploaded

  std::string keptPath(const std::string& path) {
    const std::string device = deviceOf(path);
    const std::lock_guard<std::mutex> lock(mutex);
    return RemoteHistory::statePath(device, stateName) + path.substr(device.size());
  }

  bool isHandled(const std::string& path) {
    const std::lock_guard<std::mutex> lock(mutex);
    return handled.count(path) > 0 || (isRecord(path) && devicesDone.count(deviceOf(path)) > 0);
  }

  void markHandled(const std::string& path) {
    const std::lock_guard<std::mutex> lock(mutex);
    handled.insert(path);
  }

  // Makes the folders of the state down to the one that receives `kept`, once each per run.
  void makeFoldersFor(const std::string& kept, Done done) {
    auto steps = std::make_shared<std::vector<Step>>();
    const std::string history = deviceOf(kept) + "/" + RemoteHistory::kFolder;
    const std::string parent = kept.substr(0, kept.rfind('/'));
    std::vector<std::string> chain;
    for (std::string folder = parent; folder.size() >= history.size();
         folder = folder.substr(0, folder.rfind('/'))) {
      chain.push_back(folder);
    }
    std::reverse(chain.begin(), chain.end());
    {
      const std::lock_guard<std::mutex> lock(mutex);
      for (const std::string& folder : chain) {
        if (folders.count(folder) > 0) continue;
        steps->push_back([self = shared_from_this(), folder](const Done& made) {
          self->remote->createDirectory(
              folder, [self, folder, made](bool, std::optional<tessellon::Error> error) {
                if (!error) {
                  const std::lock_guard<std::mutex> guard(self->mutex);
                  self->folders.insert(folder);
                }
                made(std::move(error));
              });
        });
      }
    }
    inOrder(steps, 0, std::move(done));
  }

  // Copies the device's records into the state, once per run.
  void keepRecords(const std::string& device, Done done) {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      if (devicesDone.count(device) > 0) return done(std::nullopt);
    }
    remote->getDirectoryInfo(device, [self = shared_from_this(), device, done = std::move(done)](
                                         std::optional<tessellon::Directory> listing,
                                         std::optional<tessellon::Error> error) mutable {
      if (error) return done(std::move(error));
      auto steps = std::make_shared<std::vector<Step>>();
      for (const tessellon::Member& member :
           listing ? listing->members : std::vector<tessellon::Member>{}) {
        const std::string path = device + "/" + nameOf(member.fullName);
        if (member.type != tessellon::MemberType::file || !isRecord(path) ||
            self->isHandled(path)) {
          continue;
        }
        steps->push_back([self, path](Done kept) { self->copy(path, std::move(kept)); });
      }
      inOrder(steps, 0, [self, device, done = std::move(done)](std::optional<tessellon::Error> e) {
        if (!e) {
          const std::lock_guard<std::mutex> lock(self->mutex);
          self->devicesDone.insert(device);
        }
        done(std::move(e));
      });
    });
  }

  void copy(const std::string& path, Done done) {
    const std::string kept = keptPath(path);
    makeFoldersFor(kept, [self = shared_from_this(), path, kept,
                          done = std::move(done)](std::optional<tessellon::Error> error) mutable {
      if (error) return done(std::move(error));
      self->versions->copyFile(
          path, kept,
          [self, path, done = std::move(done)](StoreAnswer, std::optional<tessellon::Error> e) {
            // Missing: nothing to keep. Exists: an earlier version is kept already.
            if (!e) self->markHandled(path);
            done(std::move(e));
          });
    });
  }
};

VersionKeepingDelegate::VersionKeepingDelegate(std::shared_ptr<tessellon::BackupSDKDelegate> remote,
                                               std::shared_ptr<RemoteVersions> versions,
                                               std::string stateName)
    : ForwardingDelegate(remote), run_(std::make_shared<Run>()) {
  run_->remote = std::move(remote);
  run_->versions = std::move(versions);
  run_->stateName = std::move(stateName);
}

void VersionKeepingDelegate::beginRun(std::string stateName) {
  const std::lock_guard<std::mutex> lock(run_->mutex);
  run_->stateName = std::move(stateName);
  run_->handled.clear();
  run_->devicesDone.clear();
  run_->folders.clear();
  run_->uploaded.clear();
}

std::shared_ptr<tessellon::CancellationDelegate> VersionKeepingDelegate::uploadFile(
    const std::string& localPath, const std::string& relativeRemotePath,
    std::function<void(const tessellon::TransferProgress&)> progress,
    std::function<void(std::optional<tessellon::Error>)> completion) {
  if (!isRecord(relativeRemotePath) || run_->isHandled(relativeRemotePath)) {
    if (endsWith(relativeRemotePath, ".zip")) {
      const std::lock_guard<std::mutex> lock(run_->mutex);
      run_->uploaded.insert(relativeRemotePath);
    }
    return ForwardingDelegate::uploadFile(localPath, relativeRemotePath, std::move(progress),
                                          std::move(completion));
  }
  auto transfer = std::make_shared<LaterTransfer>();
  run_->keepRecords(
      deviceOf(relativeRemotePath),
      [run = run_, transfer, localPath, relativeRemotePath, progress = std::move(progress),
       completion = std::move(completion)](std::optional<tessellon::Error> error) mutable {
        if (error) return completion(std::move(error));
        if (transfer->cancelled()) return completion(transferCancelled());
        transfer->started(run->remote->uploadFile(localPath, relativeRemotePath,
                                                  std::move(progress), std::move(completion)));
      });
  return transfer;
}

void VersionKeepingDelegate::deleteFile(
    const std::string& relativeRemotePath,
    std::function<void(bool deleted, std::optional<tessellon::Error>)> completion) {
  if (!keepsDeletion(relativeRemotePath) || run_->isHandled(relativeRemotePath)) {
    return ForwardingDelegate::deleteFile(relativeRemotePath, std::move(completion));
  }
  const std::string kept = run_->keptPath(relativeRemotePath);
  run_->makeFoldersFor(
      kept, [run = run_, path = relativeRemotePath, kept,
             completion = std::move(completion)](std::optional<tessellon::Error> error) mutable {
        if (error) return completion(false, std::move(error));
        run->versions->moveFile(path, kept,
                                [run, path, completion = std::move(completion)](
                                    StoreAnswer answer, std::optional<tessellon::Error> e) {
                                  if (e) return completion(false, std::move(e));
                                  run->markHandled(path);
                                  if (answer == StoreAnswer::done)
                                    return completion(true, std::nullopt);
                                  // Nothing there, or a version of it already kept: delete as
                                  // asked.
                                  run->remote->deleteFile(path, completion);
                                });
      });
}

void VersionKeepingDelegate::getDirectoryInfo(
    const std::string& relativeRemotePath,
    std::function<void(std::optional<tessellon::Directory>, std::optional<tessellon::Error>)>
        completion) {
  if (relativeRemotePath.empty() || relativeRemotePath.find('/') != std::string::npos) {
    return ForwardingDelegate::getDirectoryInfo(relativeRemotePath, std::move(completion));
  }
  ForwardingDelegate::getDirectoryInfo(
      relativeRemotePath,
      [completion = std::move(completion)](std::optional<tessellon::Directory> listing,
                                           std::optional<tessellon::Error> error) {
        if (listing) {
          auto& members = listing->members;
          members.erase(std::remove_if(members.begin(), members.end(),
                                       [](const tessellon::Member& member) {
                                         return nameOf(member.fullName) == RemoteHistory::kFolder;
                                       }),
                        members.end());
        }
        completion(std::move(listing), std::move(error));
      });
}

void VersionKeepingDelegate::inflateZip(
    const std::string& remoteSrcPath, const std::string& remoteDstPath,
    std::function<void(std::optional<tessellon::Error>)> completion) {
  const bool intoDevice = !remoteDstPath.empty() && remoteDstPath.find('/') == std::string::npos;
  bool uploadedHere = false;
  {
    const std::lock_guard<std::mutex> lock(run_->mutex);
    uploadedHere = run_->uploaded.count(remoteSrcPath) > 0;
  }
  if (!intoDevice) {
    return ForwardingDelegate::inflateZip(remoteSrcPath, remoteDstPath, std::move(completion));
  }
  auto inflate = [run = run_, remoteSrcPath, remoteDstPath, completion = std::move(completion)](
                     std::optional<tessellon::Error> error) mutable {
    if (error) return completion(std::move(error));
    run->remote->inflateZip(remoteSrcPath, remoteDstPath, std::move(completion));
  };
  if (uploadedHere) return run_->keepRecords(remoteDstPath, std::move(inflate));
  // An archive a killed run left: keep the records only when there is one, so that asking for
  // none (as every preview does) leaves no state behind.
  const std::string folder = remoteSrcPath.substr(0, remoteSrcPath.rfind('/'));
  run_->remote->getDirectoryInfo(
      remoteSrcPath.find('/') == std::string::npos ? "" : folder,
      [run = run_, remoteSrcPath, remoteDstPath, inflate = std::move(inflate)](
          const std::optional<tessellon::Directory>& listing,
          const std::optional<tessellon::Error>&) mutable {
        const bool present =
            listing && std::any_of(listing->members.begin(), listing->members.end(),
                                   [&](const tessellon::Member& member) {
                                     return member.fullName == remoteSrcPath;
                                   });
        if (!present) return inflate(std::nullopt);
        run->keepRecords(remoteDstPath, std::move(inflate));
      });
}

}  // namespace tessellon::hosts
