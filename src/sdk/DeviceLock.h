#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "tessellon/LoggerProtocol.h"

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "futures/Promise.h"
#include "model/DeviceLockRecord.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "remote/RemoteIOServiceProtocol.h"

namespace tessellon {

// One run's hold on a device folder of the remote, the file "<uid>/lock.json", which is only
// ever created when absent: two processes (or two machines) never back up into, or restore
// from, one folder at once. While it is held, a thread of its own rewrites the record's
// "refreshed" date, once it has read that the record is still its own. A record of another
// computer left unrefreshed for the stale age belongs to a run that died and is taken over; a
// record of this computer is taken over once its process has ended, and never while it runs.
// A run whose record was taken over anyway stops (see lost()). The same thread gives
// a host that falls silent a short grace once the run is cancelled, then abandons the lock's
// requests, so a cancelled run always ends. The facade takes one per backup and per restore.
// Call acquire() once, then release() once after it completed, from any thread; futures
// complete on the background queue.
class DeviceLock : public std::enable_shared_from_this<DeviceLock> {
 public:
  struct Timing {
    std::chrono::milliseconds refreshInterval;
    std::chrono::milliseconds staleAfter;
    // How long the lock's requests may still take once the run is cancelled.
    std::chrono::milliseconds cancelGrace;
  };
  static constexpr Timing kDefaultTiming{std::chrono::seconds(60), std::chrono::minutes(10),
                                         std::chrono::seconds(1)};
  static constexpr const char* kFileName = "lock.json";
  // Made only when absent by the run that takes a stale record over, for as long as it does.
  static constexpr const char* kTakeOverFileName = "lock-takeover.json";

  // `deviceFolder` is the remote folder "<uid>". Each upload of the record goes through a file
  // of this lock in `temporaryFolder`. Create with std::make_shared.
  DeviceLock(std::shared_ptr<RemoteIOServiceProtocol> remote,
             std::shared_ptr<FileIOServiceProtocol> files,
             std::shared_ptr<LoggerProtocol> logger,  // may be null
             std::string temporaryFolder, std::string deviceFolder, Timing timing = kDefaultTiming);
  // Ends the lock's thread.
  ~DeviceLock();
  DeviceLock(const DeviceLock&) = delete;
  DeviceLock& operator=(const DeviceLock&) = delete;

  // Creates the device folder when missing, then the record when absent, and starts refreshing
  // it. Fails with backupLocked (105) naming the holder when a live record is there. A stale or
  // unreadable record is taken over with a warning; when another run takes it first, 105
  // again. Other failures are the host's or the local file service's. A cancelled
  // `runToken` (may be null) does not stop it, so that no record is left half made, unless the
  // host stays silent for the grace: then it completes as cancelled.
  Future<Void> acquire(const std::shared_ptr<CancelToken>& runToken = nullptr);

  // Stops refreshing, lets a refresh in flight end, waits for the host to answer the requests
  // that change the remote sent since acquire() (for what is left of a cancelled run's grace,
  // else for the grace), then deletes the record; when acquire() made the device folder and
  // the record is all it holds, the folder goes with it. When the host is still busy with one
  // of them once the grace is over, it completes at once but the record stays, unrefreshed,
  // until the host has answered them (for at most half the stale age): no other run may come in
  // while a write of this one can still land. Never fails: a record that cannot be deleted is
  // logged and turns stale. Does nothing when the lock is not held.
  Future<Void> release();

  // The facade is going away: a record that release() keeps for the host's answer stays for
  // the next run to take over, and the lock lets go of the remote, and so of the host, at once.
  void abandon();

  // "<uid>/lock.json".
  const std::string& remotePath() const { return remotePath_; }

  // Set once a refresh found the record taken over or removed by another run, or once no
  // refresh has landed for half the stale age (another computer may soon count the record as
  // stale): then the run's token is cancelled, a record taken over is left to its new holder,
  // and the operation fails with this error (backupLocked) rather than end as cancelled.
  std::optional<Error> lost() const;

 private:
  Future<Void> attempt(int attemptsLeft, bool mayTakeOver);
  // Once the device folder is there, the record when absent: true when this run made it.
  Future<bool> createRecord(const FutureResult<Void>& folder);
  Future<Void> inspectHolder(int attemptsLeft, bool mayTakeOver);
  // Why the holder's record no longer counts, or nothing while it does: unreadable, left by a
  // run of this computer whose process has ended, or another computer's not refreshed for the
  // stale age.
  std::optional<std::string> staleness(const std::optional<DeviceLockRecord>& holder) const;
  // Runs that find one stale record at the same moment would each delete the record the other
  // just made: the one that makes the takeover file replaces the record, the others give way.
  Future<Void> takeOver(const std::string& reason, std::optional<std::string> staleText,
                        int attemptsLeft);
  // With the takeover file ours: the record goes only if it still reads as the one found stale.
  Future<Void> replaceStale(std::optional<std::string> staleText, int attemptsLeft);
  // Another run is taking over: this run gives way. A file left by a run that ended is removed
  // and the attempt made again.
  Future<Void> giveWay(int attemptsLeft);
  // The text of a downloaded record, or none when it cannot be read; the download goes.
  std::optional<std::string> readDownloaded(const std::string& localPath) const;
  // Writes the record, refreshed now, to this lock's local file and returns its path.
  Result<std::string> writeLocalRecord();
  Error lockedBy(const std::optional<DeviceLockRecord>& holder) const;
  // The lock's thread: refreshes while held; abandons the requests once the grace is over.
  void run();
  // Checks the record is still this run's, then rewrites it.
  Future<Void> refreshOnce();
  Future<Void> writeRecord();
  void refreshFailed(const Error& error) const;
  bool isOurs(const DeviceLockRecord& record) const;
  void lose(const std::optional<DeviceLockRecord>& holder);
  // Stops the run with `error`; the record is deleted at release unless `taken`.
  void stopRun(Error error, bool taken);
  void giveUpSoon();
  // How long release() waits for the run's writes: what is left of a cancelled run's grace.
  std::chrono::milliseconds drainGrace() const;
  // The writes were answered within the grace: the record's deletion gets a grace of its own.
  void renewGrace();
  // The writes up to `writeEnd` were not answered within the grace: the record goes once they
  // are, in the background.
  void keepUntilAnswered(uint64_t writeEnd);
  // Deletes the record unless another run took it over, and leaves the process's list of live
  // locks.
  Future<Void> letGo(const std::shared_ptr<CancelToken>& token);
  Future<Void> deleteRecord(const std::shared_ptr<CancelToken>& token);
  // Ends the thread's work; the destructor joins it.
  void finish();
  // Takes this run out of the process's list of live locks.
  void unregister();

  const std::shared_ptr<RemoteIOServiceProtocol> remote_;
  const std::shared_ptr<FileIOServiceProtocol> files_;
  const std::shared_ptr<LoggerProtocol> logger_;  // may be null
  const std::string temporaryFolder_;
  const std::string deviceFolder_;
  const std::string remotePath_;
  const std::string takeOverPath_;
  const Timing timing_;
  const uint64_t serial_;  // tells this lock's local record file from others' in the process
  // Every remote request of the lock carries it; cancelled when the grace is over.
  const std::shared_ptr<CancelToken> giveUp_;
  // Set once in acquire(), before the record exists; read by the refreshes and release().
  Date started_;
  uint64_t writeMark_ = 0;  // the run's first write to the remote
  bool registered_ = false;
  bool createdFolder_ = false;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool held_ = false;
  bool released_ = false;  // refreshing has stopped for good
  bool finished_ = false;  // the thread has nothing left to do
  std::optional<std::chrono::steady_clock::time_point> giveUpAt_;
  // When the record last landed: made, or refreshed. A steady clock, which stands still while
  // the computer sleeps: the refresh after a sleep reads whether the record is still this run's.
  std::chrono::steady_clock::time_point refreshedAt_;
  std::thread thread_;
  Future<Void> refreshing_ = Future<Void>::success(Void{});  // the refresh in flight, if any
  std::shared_ptr<CancelToken> runToken_;                    // set in acquire(), may be null

  // Once release() kept the record: true when the host answered the run's writes, false when
  // it had not by half the stale age, cancelled by abandon().
  Promise<bool> settled_;

  std::atomic<bool> lost_{false};
  std::atomic<bool> taken_{false};  // the record is another run's now
  mutable std::mutex lostMutex_;
  std::optional<Error> lostTo_;
};

}  // namespace tessellon
