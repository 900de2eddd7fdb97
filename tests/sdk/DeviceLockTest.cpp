#include "sdk/DeviceLock.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <atomic>
#include <barrier>
#include <filesystem>
#include <future>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tessellon/ForwardingDelegate.h"

#include "core/CancelToken.h"
#include "delegates/LocalFolderDelegate.h"
#include "model/json/DeviceLockJson.h"
#include "platform/files/FileIOService.h"
#include "platform/identity/ComputerName.h"
#include "platform/identity/ProcessID.h"
#include "remote/RemoteIOService.h"
#include "support/AwaitResult.h"
#include "support/BackgroundQueue.h"
#include "support/ErrorMatchers.h"
#include "support/FaultyDelegate.h"
#include "support/LocalRemote.h"
#include "support/RecordingLogger.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// Counts the host's uploads; `third` is ready once three were asked for.
class UploadCounter final : public ForwardingDelegate {
 public:
  using ForwardingDelegate::ForwardingDelegate;
  std::shared_ptr<CancellationDelegate> uploadFile(
      const std::string& localPath, const std::string& relativeRemotePath,
      std::function<void(const TransferProgress&)> progress,
      std::function<void(std::optional<Error>)> completion) override {
    if (++count == 3) third.set_value();
    return ForwardingDelegate::uploadFile(localPath, relativeRemotePath, std::move(progress),
                                          std::move(completion));
  }
  std::atomic<int> count{0};
  std::promise<void> third;
};

// Locks of the device folder "DEV" on one folder remote. Each "process" has a delegate and a
// remote port of its own, as two programs sharing the remote would.
class DeviceLockTest : public ::testing::Test {
 protected:
  struct Process {
    std::shared_ptr<UploadCounter> uploads;
    std::shared_ptr<FaultyDelegate> host;
    std::shared_ptr<RemoteIOService> remote;
  };

  void TearDown() override { EXPECT_TRUE(flushBackgroundQueue()); }

  Process process() {
    auto uploads = std::make_shared<UploadCounter>(std::make_shared<hosts::LocalFolderDelegate>(
        space_.file("remote"), 4096, std::nullopt, space_.file("downloads")));
    auto host = std::make_shared<FaultyDelegate>(uploads);
    return {uploads, host, remoteOver(host, files_, logger_)};
  }
  std::shared_ptr<DeviceLock> lockOf(const Process& process,
                                     DeviceLock::Timing timing = DeviceLock::kDefaultTiming) {
    return std::make_shared<DeviceLock>(process.remote, files_, logger_, space_.file("tmp"), "DEV",
                                        timing);
  }
  static DeviceLockRecord recordRefreshedAgo(std::chrono::minutes age,
                                             std::string host = "elsewhere", int64_t pid = 4242) {
    const Date now = currentDate();
    return {std::move(host), pid, now - age - std::chrono::hours(1), now - age};
  }
  // A process of this computer that runs until the test ends, and when it started.
  struct Sleeper {
    Sleeper() : pid(::fork()) {
      if (pid == 0) {
        ::pause();
        ::_exit(0);
      }
    }
    ~Sleeper() {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    const pid_t pid;
    const Date started = currentDate();
  };
  // The identifier of a process of this computer that has ended.
  static int64_t endedProcess() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
  }

  // One lock per "process", each over its own delegate.
  std::vector<std::shared_ptr<DeviceLock>> locksOfProcesses(int count) {
    std::vector<std::shared_ptr<DeviceLock>> locks;
    for (int index = 0; index < count; ++index) locks.push_back(lockOf(process()));
    return locks;
  }
  // Starts every acquire at the same moment; the number that got the lock. The others must
  // fail with 105.
  static int holdersOfRace(const std::vector<std::shared_ptr<DeviceLock>>& locks) {
    std::vector<Future<Void>> acquired(locks.size(), Future<Void>::cancelled());
    std::barrier start(static_cast<std::ptrdiff_t>(locks.size()));
    std::vector<std::thread> threads;
    for (size_t index = 0; index < locks.size(); ++index) {
      threads.emplace_back([&, index] {
        start.arrive_and_wait();
        acquired[index] = locks[index]->acquire();
      });
    }
    for (auto& thread : threads) thread.join();
    int holders = 0;
    for (auto& future : acquired) {
      const auto result = awaitResult(future);
      if (!result) {
        ADD_FAILURE() << "an acquire never completed";
      } else if (result->isSuccess()) {
        ++holders;
      } else {
        EXPECT_THAT(result, FailsWith(BackupSDKError::backupLocked));
      }
    }
    return holders;
  }

  std::string lockFile() const { return space_.file("remote/DEV/lock.json"); }
  std::string takeOverFile() const { return space_.file("remote/DEV/lock-takeover.json"); }
  bool locked() const { return fs::exists(lockFile()); }
  std::optional<DeviceLockRecord> stored() const {
    return locked() ? lockFromJson(space_.read(lockFile())) : std::nullopt;
  }
  void plant(const std::string& text) const { space_.write(lockFile(), text); }
  size_t takeOvers() const {
    return logger_->count(LogLevel::warning, "Taking over the stale lock of the backup folder DEV");
  }

  TempDir space_;
  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
  std::shared_ptr<FileIOService> files_ = std::make_shared<FileIOService>(space_.file("tmp"));
};

TEST_F(DeviceLockTest, OfRunsRacingForOneFolderExactlyOneHoldsIt) {
  const auto locks = locksOfProcesses(4);
  EXPECT_EQ(holdersOfRace(locks), 1);
  for (const auto& lock : locks) ASSERT_THAT(awaitResult(lock->release()), SucceedsWith(Void{}));
  EXPECT_FALSE(locked());
}

TEST_F(DeviceLockTest, AStaleOrUnreadableRecordIsTakenOverWithAWarning) {
  const std::string thisHost = computerName().value_or("?");
  const Sleeper sleeper;
  const struct {
    const char* what;
    std::string planted;
    bool takenOver;
  } rows[] = {
      {"refreshed 11 minutes ago", lockJson(recordRefreshedAgo(std::chrono::minutes(11))), true},
      {"not a lock record", R"({"host":"elsewhere","pid":"1"})", true},
      {"not JSON", "{\"host\":", true},
      {"refreshed 9 minutes ago", lockJson(recordRefreshedAgo(std::chrono::minutes(9))), false},
      // A killed run of this computer: its process has ended.
      {"of an ended process here",
       lockJson(recordRefreshedAgo(std::chrono::minutes(0), thisHost, endedProcess())), true},
      // Left by an earlier run of this process whose release failed.
      {"of an earlier run of this process",
       lockJson(recordRefreshedAgo(std::chrono::minutes(0), thisHost, currentProcessID())), true},
      // Its computer slept through the run: a live process of this computer holds on.
      {"of a running process here, refreshed 11 minutes ago",
       lockJson({thisHost, sleeper.pid, sleeper.started + std::chrono::seconds(1),
                 sleeper.started - std::chrono::minutes(11)}),
       false},
      // The identifier now belongs to a process that started after the record was made.
      {"of a process here whose identifier was given again",
       lockJson({thisHost, sleeper.pid, sleeper.started - std::chrono::hours(1), sleeper.started}),
       true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    plant(row.planted);
    const size_t warningsBefore = takeOvers();
    const auto lock = lockOf(process());
    const auto acquired = awaitResult(lock->acquire());
    if (row.takenOver) {
      EXPECT_THAT(acquired, SucceedsWith(Void{}));
      ASSERT_TRUE(stored());
      EXPECT_EQ(stored()->pid, currentProcessID());
      EXPECT_EQ(takeOvers(), warningsBefore + 1);
      EXPECT_THAT(awaitResult(lock->release()), SucceedsWith(Void{}));
      EXPECT_FALSE(locked());
    } else {
      EXPECT_THAT(acquired, FailsWith(BackupSDKError::backupLocked));
      EXPECT_THAT(acquired->failure().message, HasSubstr(" (process "));
      EXPECT_EQ(space_.read(lockFile()), row.planted);
      EXPECT_EQ(takeOvers(), warningsBefore);
    }
  }
}

// Each round, four runs find the same stale record at once: deleting it blindly, one would
// delete the record another had just made, and both would back up into the folder.
TEST_F(DeviceLockTest, RunsTakingOverOneStaleRecordAtOnceLeaveOneHolder) {
  for (int round = 0; round < 16; ++round) {
    SCOPED_TRACE(round);
    plant(lockJson(recordRefreshedAgo(std::chrono::minutes(11))));
    const auto locks = locksOfProcesses(4);
    EXPECT_EQ(holdersOfRace(locks), 1);
    EXPECT_EQ(stored()->host, computerName().value_or("?"));
    for (const auto& lock : locks) ASSERT_THAT(awaitResult(lock->release()), SucceedsWith(Void{}));
    EXPECT_FALSE(locked());
    EXPECT_FALSE(fs::exists(takeOverFile()));
  }
}

// A run killed while taking over leaves its takeover file: the next run removes it and takes the
// record over. A takeover in progress elsewhere is left alone.
TEST_F(DeviceLockTest, ATakeoverFileIsRemovedOnlyOnceItsRunHasEnded) {
  const std::string stale = lockJson(recordRefreshedAgo(std::chrono::minutes(11)));
  plant(stale);
  const std::string live = lockJson(recordRefreshedAgo(std::chrono::minutes(0)));
  space_.write(takeOverFile(), live);
  EXPECT_THAT(awaitResult(lockOf(process())->acquire()), FailsWith(BackupSDKError::backupLocked));
  EXPECT_EQ(space_.read(takeOverFile()), live);
  EXPECT_EQ(space_.read(lockFile()), stale);

  space_.write(takeOverFile(),
               lockJson(recordRefreshedAgo(std::chrono::minutes(0), computerName().value_or("?"),
                                           endedProcess())));
  const auto lock = lockOf(process());
  EXPECT_THAT(awaitResult(lock->acquire()), SucceedsWith(Void{}));
  EXPECT_EQ(stored()->pid, currentProcessID());
  EXPECT_FALSE(fs::exists(takeOverFile()));
  EXPECT_THAT(awaitResult(lock->release()), SucceedsWith(Void{}));
}

TEST_F(DeviceLockTest, TheRecordIsRefreshedWhileHeldAndNeverAfterRelease) {
  const Process owner = process();
  const auto lock = lockOf(
      owner, {std::chrono::milliseconds(1), std::chrono::minutes(10), std::chrono::seconds(1)});
  ASSERT_THAT(awaitResult(lock->acquire()), SucceedsWith(Void{}));
  ASSERT_EQ(owner.uploads->third.get_future().wait_for(std::chrono::seconds(10)),
            std::future_status::ready);
  const auto record = stored();
  ASSERT_TRUE(record);
  EXPECT_GT(record->refreshed, record->started);

  ASSERT_THAT(awaitResult(lock->release()), SucceedsWith(Void{}));
  const int uploadsAtRelease = owner.uploads->count;
  EXPECT_FALSE(locked());
  ASSERT_TRUE(flushBackgroundQueue());
  EXPECT_FALSE(locked());
  EXPECT_EQ(owner.uploads->count, uploadsAtRelease);
}

TEST_F(DeviceLockTest, ARunWhoseRecordWasTakenOverStopsAndLeavesTheNewHoldersRecord) {
  for (const bool removed : {false, true}) {
    SCOPED_TRACE(removed ? "record removed" : "record replaced");
    fs::remove(lockFile());
    auto token = std::make_shared<CancelToken>();
    const Process owner = process();
    const std::string newHolder = lockJson(recordRefreshedAgo(std::chrono::minutes(0)));
    // Another run changes the record just before a refresh reads it.
    owner.host->beforeRequest(
        [this, removed, newHolder](const std::string& operation, const std::string&) {
          if (operation != "downloadFile") return;
          if (removed) {
            fs::remove(lockFile());
          } else {
            plant(newHolder);
          }
        });
    const auto lock = lockOf(
        owner, {std::chrono::milliseconds(1), std::chrono::minutes(10), std::chrono::seconds(1)});
    ASSERT_THAT(awaitResult(lock->acquire(token)), SucceedsWith(Void{}));
    for (int i = 0; i < 2000 && !token->isCanceled(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(token->isCanceled());
    ASSERT_TRUE(lock->lost());
    EXPECT_TRUE(isError(*lock->lost(), BackupSDKError::backupLocked));
    EXPECT_THAT(awaitResult(lock->release()), SucceedsWith(Void{}));
    if (removed) {
      EXPECT_FALSE(locked());
    } else {
      EXPECT_EQ(space_.read(lockFile()), newHolder);
    }
  }
}

TEST_F(DeviceLockTest, ARunThatCannotRefreshItsRecordStopsBeforeItTurnsStale) {
  // Another computer takes a record over once it is 400 ms old: the run stops at half that.
  const Process owner = process();
  auto token = std::make_shared<CancelToken>();
  const auto lock = lockOf(owner, {std::chrono::milliseconds(5), std::chrono::milliseconds(400),
                                   std::chrono::seconds(1)});
  ASSERT_THAT(awaitResult(lock->acquire(token)), SucceedsWith(Void{}));
  for (int n = 1; n <= 1000; ++n) owner.host->failUpload(n, Error{"Host", 1, "offline"});
  for (int i = 0; i < 2000 && !token->isCanceled(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(token->isCanceled());
  ASSERT_TRUE(lock->lost());
  EXPECT_TRUE(isError(*lock->lost(), BackupSDKError::backupLocked));
  EXPECT_THAT(lock->lost()->message, HasSubstr("could not be refreshed"));
  // The record is still this run's: it goes.
  EXPECT_THAT(awaitResult(lock->release()), SucceedsWith(Void{}));
  EXPECT_FALSE(locked());
}

TEST_F(DeviceLockTest, ReleaseRemovesTheDeviceFolderOnlyWhenItMadeItAndNothingCameIn) {
  // A first run of a device: the folder is the lock's own.
  auto lock = lockOf(process());
  ASSERT_THAT(awaitResult(lock->acquire()), SucceedsWith(Void{}));
  ASSERT_THAT(awaitResult(lock->release()), SucceedsWith(Void{}));
  EXPECT_FALSE(fs::exists(space_.file("remote/DEV")));

  // The run wrote into the folder it made: the folder stays.
  lock = lockOf(process());
  ASSERT_THAT(awaitResult(lock->acquire()), SucceedsWith(Void{}));
  space_.write("remote/DEV/backup.json", "{}");
  ASSERT_THAT(awaitResult(lock->release()), SucceedsWith(Void{}));
  EXPECT_TRUE(fs::exists(space_.file("remote/DEV/backup.json")));
  EXPECT_FALSE(locked());

  // A folder that was there before stays, even emptied.
  fs::remove(space_.file("remote/DEV/backup.json"));
  lock = lockOf(process());
  ASSERT_THAT(awaitResult(lock->acquire()), SucceedsWith(Void{}));
  ASSERT_THAT(awaitResult(lock->release()), SucceedsWith(Void{}));
  EXPECT_TRUE(fs::is_directory(space_.file("remote/DEV")));
  EXPECT_FALSE(locked());
}

TEST_F(DeviceLockTest, ACancelledRunEndsEvenWhenTheHostFallsSilent) {
  using Delivery = FaultyDelegate::Delivery;
  const DeviceLock::Timing graceOf50ms{std::chrono::seconds(60), std::chrono::minutes(10),
                                       std::chrono::milliseconds(50)};
  // Silent while the lock is being taken.
  const Process first = process();
  first.host->setDelivery(Delivery::late);
  auto token = std::make_shared<CancelToken>();
  auto lock = lockOf(first, graceOf50ms);
  const Future<Void> acquiring = lock->acquire(token);
  ASSERT_TRUE(first.host->waitForHeld(1));
  (void)token->cancel();
  EXPECT_THAT(awaitResult(acquiring), IsCancelled());
  EXPECT_THAT(awaitResult(lock->release()), SucceedsWith(Void{}));
  first.host->deliverHeld();

  // Silent while it is let go.
  const Process second = process();
  token = std::make_shared<CancelToken>();
  lock = lockOf(second, graceOf50ms);
  ASSERT_THAT(awaitResult(lock->acquire(token)), SucceedsWith(Void{}));
  second.host->setDelivery(Delivery::late);
  (void)token->cancel();
  EXPECT_THAT(awaitResult(lock->release()), SucceedsWith(Void{}));
  EXPECT_EQ(logger_->count(LogLevel::warning, "Could not delete the lock DEV/lock.json"), 1u);
  second.host->deliverHeld();
}

TEST_F(DeviceLockTest, ARecordStaysWhileAWriteOfItsRunMayStillLand) {
  const DeviceLock::Timing graceOf50ms{std::chrono::seconds(60), std::chrono::seconds(2),
                                       std::chrono::milliseconds(50)};
  const auto eventually = [](const std::function<bool()>& done) {
    for (int tries = 0; tries < 500 && !done(); ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
  };
  // A run cancelled while the host goes on with a write of it, answered only at deliverHeld().
  const auto releasedWithAWriteHeld = [&](const Process& host) {
    auto token = std::make_shared<CancelToken>();
    auto lock = lockOf(host, graceOf50ms);
    EXPECT_THAT(awaitResult(lock->acquire(token)), SucceedsWith(Void{}));
    host.host->setDelivery(FaultyDelegate::Delivery::late);
    const Future<Void> write = host.remote->createDirectory("DEV/images", token);
    EXPECT_TRUE(host.host->waitForHeld(1));
    (void)token->cancel();
    EXPECT_THAT(awaitResult(write), IsCancelled());
    EXPECT_THAT(awaitResult(lock->release()), SucceedsWith(Void{}));
    host.host->setDelivery(FaultyDelegate::Delivery::asIs);
    return lock;
  };
  const auto takenOverByTheNextRun = [&] {
    auto next = lockOf(process());
    EXPECT_THAT(awaitResult(next->acquire()), SucceedsWith(Void{}));
    EXPECT_THAT(awaitResult(next->release()), SucceedsWith(Void{}));
    return takeOvers();
  };

  // The host answers later: until then the record stays and a next run is refused.
  const Process slow = process();
  auto lock = releasedWithAWriteHeld(slow);
  EXPECT_TRUE(locked());
  const auto refused = awaitResult(lockOf(process())->acquire());
  ASSERT_THAT(refused, FailsWith(BackupSDKError::backupLocked));
  EXPECT_THAT(refused->failure().message,
              HasSubstr("is kept by a run of this process that started "));
  slow.host->deliverHeld();
  EXPECT_TRUE(eventually([&] { return !locked(); }));
  EXPECT_EQ(logger_->count(LogLevel::warning, "Quorro: the host has not answered"), 1u);

  // A host that never answers: after half the stale age the record is a leftover that the next
  // run of this process takes over.
  const Process silent = process();
  lock = releasedWithAWriteHeld(silent);
  EXPECT_TRUE(eventually([&] {
    return logger_->count(LogLevel::warning, "Quorro: the host has still not answered") == 1;
  }));
  EXPECT_EQ(takenOverByTheNextRun(), 1u);
  silent.host->deliverHeld();

  // The facade goes away meanwhile: the lock lets go of the host at once and its record is a
  // leftover.
  const Process closing = process();
  lock = releasedWithAWriteHeld(closing);
  const std::weak_ptr<DeviceLock> abandoned = lock;
  lock->abandon();
  lock.reset();
  EXPECT_TRUE(eventually([&] { return abandoned.expired(); }));
  EXPECT_TRUE(locked());
  EXPECT_EQ(takenOverByTheNextRun(), 2u);
  closing.host->deliverHeld();
}

}  // namespace
}  // namespace tessellon
