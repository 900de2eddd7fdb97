#include "sdk/DeviceLock.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>
#include <utility>

#include "tessellon/BackupSDKError.h"

#include "core/Async.h"
#include "core/Log.h"
#include "core/PathUtils.h"
#include "model/json/DeviceLockJson.h"
#include "platform/identity/ComputerName.h"
#include "platform/identity/ProcessID.h"

namespace tessellon {
namespace {

// Creating, then finding the record gone before it could be read (its holder let go in
// between), is tried again this many times in all.
constexpr int kAttempts = 3;

std::atomic<uint64_t> nextSerial{1};

// The locks of this process that are being taken or held, by folder and start. A record of
// this process that names none of them was left by an earlier run whose release failed.
struct Registry {
  std::mutex mutex;
  std::multiset<std::pair<std::string, Date>> live;
  // Those of them whose run has ended but whose host has still to answer one of its writes.
  std::multiset<std::pair<std::string, Date>> awaitingHost;
};
Registry& registry() {
  static auto* instance = new Registry();
  return *instance;
}
bool isLiveHere(const std::string& path, Date started) {
  std::lock_guard lock(registry().mutex);
  return registry().live.count({path, started}) != 0;
}
bool awaitsHostHere(const std::string& path, Date started) {
  std::lock_guard lock(registry().mutex);
  return registry().awaitingHost.count({path, started}) != 0;
}

// Whether the process now running as `pid` started after `moment`, so that the identifier was
// given again after the process that took the lock ended.
bool startedAfter(int64_t pid, Date moment) {
  const std::optional<Date> start = processStartTime(pid);
  return start && *start > moment + std::chrono::seconds(5);
}

bool isDirectoryExist(const Error& error) {
  return isError(error, BackupSDKError::delegateDirectoryExist);
}

}  // namespace

DeviceLock::DeviceLock(std::shared_ptr<RemoteIOServiceProtocol> remote,
                       std::shared_ptr<FileIOServiceProtocol> files,
                       std::shared_ptr<LoggerProtocol> logger, std::string temporaryFolder,
                       std::string deviceFolder, Timing timing)
    : remote_(std::move(remote)),
      files_(std::move(files)),
      logger_(std::move(logger)),
      temporaryFolder_(std::move(temporaryFolder)),
      deviceFolder_(std::move(deviceFolder)),
      remotePath_(PathUtils::combinePath({deviceFolder_, kFileName})),
      takeOverPath_(PathUtils::combinePath({deviceFolder_, kTakeOverFileName})),
      timing_(timing),
      serial_(nextSerial.fetch_add(1)),
      giveUp_(std::make_shared<CancelToken>()) {}

DeviceLock::~DeviceLock() {
  finish();
  // Never runs on the thread itself: it holds no reference to the lock, and the requests it
  // makes complete on the background queue.
  if (thread_.joinable()) thread_.join();
  unregister();
}

Future<Void> DeviceLock::acquire(const std::shared_ptr<CancelToken>& runToken) {
  started_ = currentDate();
  writeMark_ = remote_->writeMark();
  runToken_ = runToken;  // before the thread that may read it starts
  {
    std::lock_guard lock(registry().mutex);
    registry().live.insert({remotePath_, started_});
  }
  registered_ = true;
  {
    std::lock_guard lock(mutex_);
    thread_ = std::thread([this] { run(); });
  }
  if (runToken) {
    (void)runToken->onCancel([weak = weak_from_this()] {
      if (auto self = weak.lock()) self->giveUpSoon();
    });
  }
  return attempt(kAttempts, /*mayTakeOver=*/true);
}

void DeviceLock::unregister() {
  if (!std::exchange(registered_, false)) return;
  std::lock_guard lock(registry().mutex);
  registry().live.erase(registry().live.find({remotePath_, started_}));
  if (auto kept = registry().awaitingHost.find({remotePath_, started_});
      kept != registry().awaitingHost.end()) {
    registry().awaitingHost.erase(kept);
  }
}

// 1. Make sure the device folder exists (the first backup of a device finds none).
// 2. Create the record only if absent: done when created.
// 3. Otherwise read the holder's record and refuse, or take a stale one over.
Future<Void> DeviceLock::attempt(int attemptsLeft, bool mayTakeOver) {
  auto self = shared_from_this();
  return remote_->createDirectory(deviceFolder_, giveUp_)
      .onComplete(Executor::immediate(),
                  [self](const FutureResult<Void>& folder) { return self->createRecord(folder); })
      .onComplete(
          Executor::immediate(),
          [self, attemptsLeft, mayTakeOver](const FutureResult<bool>& created) -> Future<Void> {
            if (created.isFail()) return Future<Void>::fail(created.failure());
            if (created.isCancelled()) return Future<Void>::cancelled();
            if (created.successValue()) {
              std::lock_guard lock(self->mutex_);
              self->held_ = true;
              self->refreshedAt_ = std::chrono::steady_clock::now();
              return Future<Void>::success(Void{});
            }
            return self->inspectHolder(attemptsLeft, mayTakeOver);
          });
}

Future<bool> DeviceLock::createRecord(const FutureResult<Void>& folder) {
  // Whether the folder is there is unknown: the host cancelled, or the lock gave up on it.
  if (folder.isCancelled()) return Future<bool>::cancelled();
  if (folder.isFail() && !isDirectoryExist(folder.failure())) {
    return Future<bool>::fail(folder.failure());
  }
  if (folder.isSuccess()) createdFolder_ = true;
  Result<std::string> local = writeLocalRecord();
  if (!local.ok()) return Future<bool>::fail(local.error());
  return remote_->uploadFileIfAbsent(local.value(), remotePath_, giveUp_)
      .onComplete(Executor::immediate(),
                  [files = files_, local = local.value()](const FutureResult<bool>& created) {
                    (void)files->deleteItem(local);
                    return created;
                  });
}

Future<Void> DeviceLock::inspectHolder(int attemptsLeft, bool mayTakeOver) {
  auto self = shared_from_this();
  return remote_->downloadFileInternal(remotePath_, nullptr, giveUp_)
      .onComplete(
          Executor::immediate(),
          [self, attemptsLeft,
           mayTakeOver](const FutureResult<std::string>& downloaded) -> Future<Void> {
            if (downloaded.isCancelled()) return Future<Void>::cancelled();
            if (downloaded.isFail()) {
              if (!isError(downloaded.failure(), BackupSDKError::delegateFileDoesNotExist)) {
                return Future<Void>::fail(downloaded.failure());
              }
              // The holder let go between our two requests.
              if (attemptsLeft > 1) return self->attempt(attemptsLeft - 1, mayTakeOver);
              return Future<Void>::fail(self->lockedBy(std::nullopt));
            }
            std::optional<std::string> text = self->readDownloaded(downloaded.successValue());
            const std::optional<DeviceLockRecord> holder =
                text ? lockFromJson(*text) : std::nullopt;
            const std::optional<std::string> reason = self->staleness(holder);
            if (!mayTakeOver || attemptsLeft <= 1 || !reason) {
              return Future<Void>::fail(self->lockedBy(holder));
            }
            return self->takeOver(*reason, std::move(text), attemptsLeft);
          });
}

std::optional<std::string> DeviceLock::readDownloaded(const std::string& localPath) const {
  FutureResult<std::string> text = files_->read(localPath).waitUntilCompleted();
  (void)files_->deleteItem(localPath);
  if (!text.isSuccess()) return std::nullopt;
  return text.successValue();
}

std::optional<std::string> DeviceLock::staleness(
    const std::optional<DeviceLockRecord>& holder) const {
  if (!holder) return "its record cannot be read";
  const std::string who = "held by " + holder->host + " (process " + std::to_string(holder->pid) +
                          ") since " + utcText(holder->started);
  // A run of this computer is asked directly: one that was killed need not be waited for, and a
  // live one holds however long since its refresh (the computer may have slept through it).
  if (holder->host == computerName().value_or("?")) {
    if (holder->pid == currentProcessID()) {
      if (isLiveHere(remotePath_, holder->started)) return std::nullopt;
    } else if (isProcessRunning(holder->pid) && !startedAfter(holder->pid, holder->started)) {
      return std::nullopt;
    }
    return who + ", whose process has ended";
  }
  if (currentDate() - holder->refreshed > timing_.staleAfter) {
    return who + ", last refreshed " + utcText(holder->refreshed);
  }
  return std::nullopt;
}

Future<Void> DeviceLock::takeOver(const std::string& reason, std::optional<std::string> staleText,
                                  int attemptsLeft) {
  Result<std::string> local = writeLocalRecord();
  if (!local.ok()) return Future<Void>::fail(local.error());
  auto self = shared_from_this();
  return remote_->uploadFileIfAbsent(local.value(), takeOverPath_, giveUp_)
      .onComplete(Executor::immediate(),
                  [files = files_, local = local.value()](const FutureResult<bool>& made) {
                    (void)files->deleteItem(local);
                    return made;
                  })
      .onComplete(Executor::immediate(), [self, reason, staleText = std::move(staleText),
                                          attemptsLeft](const FutureResult<bool>& made) {
        if (made.isCancelled()) return Future<Void>::cancelled();
        if (made.isFail()) return Future<Void>::fail(made.failure());
        if (!made.successValue()) return self->giveWay(attemptsLeft);
        logWith(self->logger_, LogLevel::warning, [&] {
          return "Taking over the stale lock of the backup folder " + self->deviceFolder_ + ": " +
                 reason;
        });
        return self->replaceStale(staleText, attemptsLeft)
            .onComplete(Executor::immediate(), [self](const FutureResult<Void>& outcome) {
              return self->remote_->deleteFile(self->takeOverPath_, self->giveUp_)
                  .onComplete(Executor::immediate(),
                              [outcome](const FutureResult<Void>&) { return outcome; });
            });
      });
}

Future<Void> DeviceLock::replaceStale(std::optional<std::string> staleText, int attemptsLeft) {
  auto self = shared_from_this();
  return remote_->downloadFileInternal(remotePath_, nullptr, giveUp_)
      .onComplete(Executor::immediate(), [self, staleText = std::move(staleText), attemptsLeft](
                                             const FutureResult<std::string>& downloaded) {
        if (downloaded.isCancelled()) return Future<Void>::cancelled();
        if (downloaded.isFail()) {
          if (!isError(downloaded.failure(), BackupSDKError::delegateFileDoesNotExist)) {
            return Future<Void>::fail(downloaded.failure());
          }
          // The holder let go meanwhile: the record is there to be made.
          return self->attempt(attemptsLeft - 1, /*mayTakeOver=*/false);
        }
        const std::optional<std::string> text = self->readDownloaded(downloaded.successValue());
        if (text != staleText) {
          return Future<Void>::fail(self->lockedBy(text ? lockFromJson(*text) : std::nullopt));
        }
        return self->remote_->deleteFile(self->remotePath_, self->giveUp_)
            .onComplete(
                Executor::immediate(), [self, attemptsLeft](const FutureResult<Void>& deleted) {
                  // The stale record may still be there: this run cannot go on, and
                  // naming the dead holder as if it were alive would mislead.
                  if (deleted.isCancelled()) return Future<Void>::cancelled();
                  if (deleted.isFail() &&
                      !isError(deleted.failure(), BackupSDKError::delegateFileDoesNotExist)) {
                    return Future<Void>::fail(deleted.failure());
                  }
                  return self->attempt(attemptsLeft - 1, /*mayTakeOver=*/false);
                });
      });
}

Future<Void> DeviceLock::giveWay(int attemptsLeft) {
  auto self = shared_from_this();
  return remote_->downloadFileInternal(takeOverPath_, nullptr, giveUp_)
      .onComplete(
          Executor::immediate(), [self, attemptsLeft](const FutureResult<std::string>& found) {
            if (found.isCancelled()) return Future<Void>::cancelled();
            if (found.isFail()) {
              if (!isError(found.failure(), BackupSDKError::delegateFileDoesNotExist)) {
                return Future<Void>::fail(found.failure());
              }
              // That takeover is over: the record now names its holder, or is there to be made.
              return self->attempt(attemptsLeft - 1, /*mayTakeOver=*/false);
            }
            const std::optional<std::string> text = self->readDownloaded(found.successValue());
            const std::optional<std::string> reason =
                self->staleness(text ? lockFromJson(*text) : std::nullopt);
            if (!reason) return Future<Void>::fail(self->lockedBy(std::nullopt));
            logWith(self->logger_, LogLevel::warning, [&] {
              return "Removing the takeover file of the backup folder " + self->deviceFolder_ +
                     " left by a run that ended: " + *reason;
            });
            // Then the whole attempt again: the record may have changed hands meanwhile. A
            // deletion the host cancelled cancels the run, as any request of it would.
            return self->remote_->deleteFile(self->takeOverPath_, self->giveUp_)
                .onComplete(Executor::immediate(),
                            [self, attemptsLeft](const FutureResult<Void>& deleted) {
                              if (deleted.isCancelled()) return Future<Void>::cancelled();
                              return self->attempt(attemptsLeft - 1, /*mayTakeOver=*/true);
                            });
          });
}

Result<std::string> DeviceLock::writeLocalRecord() {
  Result<void> folder = files_->createDirectory(temporaryFolder_, true);
  if (!folder.ok()) return folder.error();
  const DeviceLockRecord record{computerName().value_or("?"), currentProcessID(), started_,
                                currentDate()};
  // Named after the process and this lock: runs of one user in several processes share the
  // folder, and a writer must never upload another's record.
  const std::string path =
      PathUtils::combinePath({temporaryFolder_, "lock-" + std::to_string(record.pid) + "-" +
                                                    std::to_string(serial_) + ".json"});
  const FutureResult<Void> written = files_->write(path, lockJson(record)).waitUntilCompleted();
  if (written.isFail()) return written.failure();
  return path;
}

Error DeviceLock::lockedBy(const std::optional<DeviceLockRecord>& holder) const {
  if (!holder) {
    return makeError(BackupSDKError::backupLocked,
                     "the backup folder " + deviceFolder_ + " is in use by another run");
  }
  // The host application may run one operation after another on several facades: name the run
  // of its own that holds the folder.
  if (holder->pid == currentProcessID() && holder->host == computerName().value_or("?")) {
    const std::string since = utcText(holder->started);
    return makeError(BackupSDKError::backupLocked,
                     "the backup folder " + deviceFolder_ +
                         (awaitsHostHere(remotePath_, holder->started)
                              ? " is kept by a run of this process that started " + since +
                                    " until the host has answered every request of it that "
                                    "changes the folder"
                              : " is in use by another run of this process since " + since));
  }
  return makeError(BackupSDKError::backupLocked, "the backup folder " + deviceFolder_ +
                                                     " is in use by " + holder->host +
                                                     " (process " + std::to_string(holder->pid) +
                                                     ") since " + utcText(holder->started));
}

void DeviceLock::run() {
  using Clock = std::chrono::steady_clock;
  std::unique_lock lock(mutex_);
  Clock::time_point nextRefresh = Clock::now() + timing_.refreshInterval;
  while (!finished_) {
    wake_.wait_until(lock, giveUpAt_ ? std::min(*giveUpAt_, nextRefresh) : nextRefresh);
    if (finished_) break;
    const Clock::time_point now = Clock::now();
    if (giveUpAt_ && now >= *giveUpAt_) {
      giveUpAt_.reset();
      lock.unlock();
      // The host's answers no longer matter: every request of the lock completes as cancelled.
      (void)giveUp_->cancel();
      lock.lock();
      continue;
    }
    if (held_ && !released_ && !lost_ && now - refreshedAt_ > timing_.staleAfter / 2) {
      lock.unlock();
      stopRun(makeError(BackupSDKError::backupLocked,
                        "the lock of the backup folder " + deviceFolder_ +
                            " could not be refreshed for " +
                            std::to_string(std::chrono::duration_cast<std::chrono::seconds>(
                                               timing_.staleAfter / 2)
                                               .count()) +
                            " s, and another run may soon take it over"),
              /*taken=*/false);
      lock.lock();
      continue;
    }
    if (now < nextRefresh) continue;
    nextRefresh = now + timing_.refreshInterval;
    // Under the mutex, so release() either stops a refresh before it starts or waits for it;
    // a slow host still busy with the last one gets no second upload beside it.
    if (held_ && !released_ && !lost_ && refreshing_.isCompleted()) refreshing_ = refreshOnce();
  }
}

void DeviceLock::giveUpSoon() {
  std::lock_guard lock(mutex_);
  if (giveUpAt_ || giveUp_->isCanceled()) return;
  giveUpAt_ = std::chrono::steady_clock::now() + timing_.cancelGrace;
  wake_.notify_all();
}

std::chrono::milliseconds DeviceLock::drainGrace() const {
  std::lock_guard lock(mutex_);
  if (!giveUpAt_) return giveUp_->isCanceled() ? std::chrono::milliseconds(0) : timing_.cancelGrace;
  return std::max(std::chrono::milliseconds(0),
                  std::chrono::duration_cast<std::chrono::milliseconds>(
                      *giveUpAt_ - std::chrono::steady_clock::now()));
}

void DeviceLock::renewGrace() {
  std::lock_guard lock(mutex_);
  if (!giveUpAt_) return;
  giveUpAt_ = std::chrono::steady_clock::now() + timing_.cancelGrace;
  wake_.notify_all();
}

void DeviceLock::finish() {
  std::lock_guard lock(mutex_);
  finished_ = true;
  wake_.notify_all();
}

Future<Void> DeviceLock::refreshOnce() {
  auto self = shared_from_this();
  // Read first: a record that is no longer ours was taken over while this run was away, and
  // writing ours over it would let two runs hold the folder.
  return remote_->downloadFileInternal(remotePath_, nullptr, giveUp_)
      .onComplete(
          Executor::immediate(),
          [self](const FutureResult<std::string>& downloaded) -> Future<Void> {
            if (downloaded.isCancelled()) return Future<Void>::success(Void{});
            std::optional<DeviceLockRecord> holder;
            if (downloaded.isSuccess()) {
              const std::string& local = downloaded.successValue();
              const FutureResult<std::string> text = self->files_->read(local).waitUntilCompleted();
              (void)self->files_->deleteItem(local);
              if (text.isSuccess()) holder = lockFromJson(text.successValue());
            } else if (!isError(downloaded.failure(), BackupSDKError::delegateFileDoesNotExist)) {
              self->refreshFailed(downloaded.failure());
              return Future<Void>::success(Void{});
            }
            if (holder && self->isOurs(*holder)) return self->writeRecord();
            self->lose(holder);
            return Future<Void>::success(Void{});
          });
}

Future<Void> DeviceLock::writeRecord() {
  Result<std::string> local = writeLocalRecord();
  if (!local.ok()) {
    refreshFailed(local.error());
    return Future<Void>::success(Void{});
  }
  auto self = shared_from_this();
  const auto written = std::chrono::steady_clock::now();
  return remote_->uploadFileInternal(local.value(), remotePath_, nullptr, giveUp_)
      .onComplete(Executor::immediate(),
                  [self, local = local.value(), written](const FutureResult<Void>& sent) {
                    (void)self->files_->deleteItem(local);
                    if (sent.isFail()) return self->refreshFailed(sent.failure());
                    if (!sent.isSuccess()) return;
                    std::lock_guard lock(self->mutex_);
                    self->refreshedAt_ = std::max(self->refreshedAt_, written);
                  });
}

void DeviceLock::refreshFailed(const Error& error) const {
  logWith(logger_, LogLevel::warning,
          [&] { return "Could not refresh the lock " + remotePath_ + ": " + describe(error); });
}

bool DeviceLock::isOurs(const DeviceLockRecord& record) const {
  return record.pid == currentProcessID() && record.started == started_ &&
         record.host == computerName().value_or("?");
}

void DeviceLock::lose(const std::optional<DeviceLockRecord>& holder) {
  Error error = holder ? lockedBy(*holder)
                       : makeError(BackupSDKError::backupLocked, "the lock of the backup folder " +
                                                                     deviceFolder_ +
                                                                     " was removed by another run");
  stopRun(std::move(error), /*taken=*/true);
}

void DeviceLock::stopRun(Error error, bool taken) {
  logWith(logger_, LogLevel::error,
          [&] { return "Lost the lock of the backup folder, the run stops: " + error.message; });
  {
    std::lock_guard lock(lostMutex_);
    lostTo_ = std::move(error);
  }
  taken_ = taken;
  lost_ = true;
  // Not here: this may run inside a refresh started under the mutex that cancelling takes.
  if (runToken_) Async::background([token = runToken_] { (void)token->cancel(); });
}

std::optional<Error> DeviceLock::lost() const {
  if (!lost_) return std::nullopt;
  std::lock_guard lock(lostMutex_);
  return lostTo_;
}

Future<Void> DeviceLock::release() {
  Future<Void> refreshing = Future<Void>::success(Void{});
  bool held = false;
  {
    std::lock_guard lock(mutex_);
    held = std::exchange(held_, false);
    released_ = true;
    refreshing = refreshing_;
  }
  if (!held) {
    unregister();
    finish();
    return Future<Void>::success(Void{});
  }

  // The run's writes are those sent from acquire() to now; a later run's never hold this one up.
  const uint64_t writeEnd = remote_->writeMark();
  auto self = shared_from_this();
  // After the last refresh: one that landed later would bring the record back. After the run's
  // writes the host has not answered yet (a cancelled run's may still be under way): one that
  // landed once the folder is free could meet the next run's.
  return refreshing
      .onComplete(Executor::immediate(),
                  [self, writeEnd](const FutureResult<Void>&) {
                    return self->remote_->writesAnswered(self->writeMark_, writeEnd,
                                                         self->drainGrace());
                  })
      .onComplete(Executor::immediate(),
                  [self, writeEnd](const FutureResult<bool>& answered) -> Future<Void> {
                    if (answered.isSuccess() && answered.successValue()) {
                      self->renewGrace();
                      return self->letGo(self->giveUp_);
                    }
                    self->finish();
                    self->keepUntilAnswered(writeEnd);
                    return Future<Void>::success(Void{});
                  });
}

void DeviceLock::keepUntilAnswered(uint64_t writeEnd) {
  logWith(logger_, LogLevel::warning, [&] {
    return "Quorro: the host has not answered every request of this run that changes " +
           deviceFolder_ + "; its lock stays until it has";
  });
  {
    std::lock_guard lock(registry().mutex);
    registry().awaitingHost.insert({remotePath_, started_});
  }
  // Half the stale age: the record, last refreshed before release(), is still this run's for
  // every other computer when it goes. The wait holds only the promise, so that abandon() lets
  // go of the host.
  (void)remote_->writesAnswered(writeMark_, writeEnd, timing_.staleAfter / 2)
      .onComplete(Executor::immediate(), [settled = settled_](const FutureResult<bool>& answered) {
        settled.complete(answered);
      });
  auto self = shared_from_this();
  (void)settled_.future.onComplete(
      Executor::immediate(), [self](const FutureResult<bool>& answered) {
        if (answered.isSuccess() && answered.successValue()) {
          // The run's own token gave up long ago; the host is answering again.
          return self->letGo(std::make_shared<CancelToken>());
        }
        logWith(self->logger_, LogLevel::warning, [&] {
          return "Quorro: " +
                 std::string(answered.isCancelled() ? "the library was closed before the host"
                                                    : "the host has still not") +
                 " answered every request of a run that changed " + self->deviceFolder_ +
                 "; its lock is left for the next run to take over";
        });
        self->unregister();
        return Future<Void>::success(Void{});
      });
}

void DeviceLock::abandon() { settled_.completeWithCancel(); }

Future<Void> DeviceLock::letGo(const std::shared_ptr<CancelToken>& token) {
  auto self = shared_from_this();
  // A record that another run took over is theirs.
  const Future<Void> deleted = taken_ ? Future<Void>::success(Void{}) : deleteRecord(token);
  return deleted.onComplete(Executor::immediate(), [self](const FutureResult<Void>& outcome) {
    // From here a record of this run on the remote is a leftover (a failed deletion).
    self->unregister();
    self->finish();
    if (outcome.isSuccess()) return;
    logWith(self->logger_, LogLevel::warning, [&] {
      return "Could not delete the lock " + self->remotePath_ + " (" +
             (outcome.isFail() ? describe(outcome.failure())
                               : std::string("the host did not answer")) +
             "); other runs take it over once it is stale";
    });
  });
}

Future<Void> DeviceLock::deleteRecord(const std::shared_ptr<CancelToken>& token) {
  if (!createdFolder_) return remote_->deleteFile(remotePath_, token);
  // Listed while the lock is still ours, so no other run can have come in between.
  auto self = shared_from_this();
  return remote_->getDirectoryInfo(deviceFolder_, token)
      .onComplete(Executor::immediate(),
                  [self, token](const FutureResult<std::shared_ptr<const Directory>>& listing) {
                    const bool onlyTheRecord =
                        listing.isSuccess() && listing.successValue()->members.size() == 1 &&
                        PathUtils::getFileName(listing.successValue()->members.front().fullName) ==
                            std::optional<std::string>(kFileName);
                    return self->remote_->deleteFile(
                        onlyTheRecord ? self->deviceFolder_ : self->remotePath_, token);
                  });
}

}  // namespace tessellon
