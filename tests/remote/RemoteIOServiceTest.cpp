#include "remote/RemoteIOService.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <future>
#include <limits>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/Async.h"
#include "core/CancelToken.h"
#include "core/FileStatusManager.h"
#include "core/NotificationService.h"
#include "delegates/LocalFolderDelegate.h"
#include "platform/files/FileIOService.h"
#include "remote/DelegateCalls.h"
#include "remote/SingleFileTransferStateReporter.h"
#include "remote/TestArchives.h"
#include "support/AwaitResult.h"
#include "support/BackgroundQueue.h"
#include "support/ErrorMatchers.h"
#include "support/FaultyDelegate.h"
#include "support/MediaTree.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using Delivery = FaultyDelegate::Delivery;

// Holds the background queue until opened, so a test can attach continuations
// before any host answer is handled there.
class BackgroundGate {
 public:
  BackgroundGate() {
    Async::background([opened = opened_.get_future().share()] { opened.wait(); });
  }
  ~BackgroundGate() { open(); }
  void open() {
    if (!isOpen_) opened_.set_value();
    isOpen_ = true;
  }

 private:
  std::promise<void> opened_;
  bool isOpen_ = false;
};

// Whether `future` completes on the background queue; attach before it can complete.
template <class T>
Future<bool> completesOnBackgroundQueue(const Future<T>& future) {
  return future.onComplete(Executor::immediate(), [](const FutureResult<T>&) {
    return FutureResult<bool>::success(Async::backgroundQueue()->isCurrent());
  });
}

class RemoteIOServiceTest : public ::testing::Test {
 protected:
  RemoteIOServiceTest() {
    notifications_->setBackupProgress([this](const FileStatus& s) { record(backup_, s); });
    notifications_->setRestoreProgress([this](const FileStatus& s) { record(restore_, s); });
  }
  // Answers held or in flight must not reach a torn-down fixture.
  void TearDown() override { EXPECT_TRUE(flushBackgroundQueue()); }

  std::string local(const std::string& name, const std::string& bytes) {
    return space_.write("local/" + name, bytes);
  }
  std::string remotePath(const std::string& relative) { return space_.file("remote/" + relative); }
  void record(std::vector<FileStatus>& statuses, const FileStatus& status) {
    std::lock_guard lock(statusMutex_);
    statuses.push_back(status);
  }
  std::vector<FileStatus> statuses(const std::vector<FileStatus>& reported) {
    std::lock_guard lock(statusMutex_);
    return reported;
  }

  TempDir space_;
  std::shared_ptr<hosts::LocalFolderDelegate> remote_ =
      std::make_shared<hosts::LocalFolderDelegate>(space_.file("remote"), 4096, std::nullopt,
                                                   space_.file("downloads"));
  std::shared_ptr<FaultyDelegate> host_ = std::make_shared<FaultyDelegate>(remote_);
  std::shared_ptr<NotificationService> notifications_ =
      std::make_shared<NotificationService>(nullptr);
  std::shared_ptr<FileStatusManager> statusManager_ =
      std::make_shared<FileStatusManager>(notifications_);
  std::shared_ptr<FileIOService> files_ = std::make_shared<FileIOService>(space_.file("tmp"));
  std::shared_ptr<SingleFileTransferStateReporter> reporter_ =
      std::make_shared<SingleFileTransferStateReporter>(statusManager_);
  RemoteIOService service_{host_, files_, nullptr, reporter_};
  std::shared_ptr<CancelToken> token_ = std::make_shared<CancelToken>();
  std::mutex statusMutex_;
  std::vector<FileStatus> backup_;
  std::vector<FileStatus> restore_;
};

// ---- Cancellation

TEST_F(RemoteIOServiceTest, AnAlreadyCancelledTokenStopsTransfersBeforeTheHost) {
  const std::string file = local("a", "a");
  ASSERT_TRUE(token_->cancel().ok());

  EXPECT_THAT(service_.uploadFile(file, "a", token_), IsCancelled());
  EXPECT_THAT(service_.downloadFile("a", token_), IsCancelled());
  EXPECT_THAT(service_.downloadFile("a", 1, token_), IsCancelled());

  EXPECT_EQ(host_->calls("uploadFile"), 0);
  EXPECT_EQ(host_->calls("downloadFile"), 0);
}

TEST_F(RemoteIOServiceTest, CancellingARunningRequestEndsItAndIgnoresTheLateAnswer) {
  space_.write("tmp/download-1", "fresh");
  host_->answerDownloadWith(space_.file("tmp/download-1"), std::nullopt);
  host_->setDelivery(Delivery::late);
  writeArchive(remotePath("dev1.zip"), {{"a", "a"}});
  const std::vector<Future<Void>> pending = {
      service_.uploadFile(local("a", "bytes"), "a", token_),
      service_.createDirectory("dev1", token_),
      service_.deleteFile("dev1.zip", token_),
      service_.inflateZip("dev1.zip", "dev1", token_),
  };
  const auto listing = service_.getDirectoryInfo("", token_);
  const auto download = service_.downloadFile("dev1/backup.json", token_);
  ASSERT_TRUE(host_->waitForHeld(6));
  ASSERT_TRUE(flushBackgroundQueue());
  for (const auto& future : pending) EXPECT_FALSE(future.isCompleted());

  ASSERT_TRUE(token_->cancel().ok());
  EXPECT_EQ(host_->transferCancels(), 2);
  for (const auto& future : pending) EXPECT_THAT(awaitResult(future), IsCancelled());
  EXPECT_THAT(awaitResult(listing), IsCancelled());
  EXPECT_THAT(awaitResult(download), IsCancelled());

  // The answers arrive after all: successes, and a file that nobody will read, which goes.
  host_->deliverHeld();
  ASSERT_TRUE(flushBackgroundQueue());
  for (const auto& future : pending) EXPECT_THAT(future, IsCancelled());
  EXPECT_THAT(download, IsCancelled());
  EXPECT_TRUE(fs::is_empty(space_.file("tmp")));
}

// ---- Downloads

TEST_F(RemoteIOServiceTest, DownloadsOfOneNameGetFoldersOfTheirOwnInThePrivateFolder) {
  space_.write("remote/dev1/backup.json", "{}");
  RemoteIOService service(host_, files_, nullptr, reporter_, space_.file("tmp"));
  // A listing beside a preview: both fetch the same record, and their answers meet.
  host_->setDelivery(Delivery::late);
  const auto first = service.downloadFile("dev1/backup.json", token_);
  const auto second = service.downloadFile("dev1/backup.json", 20, token_);
  ASSERT_TRUE(host_->waitForHeld(2));
  host_->deliverHeld();
  const auto firstPath = awaitResult(first);
  const auto secondPath = awaitResult(second);
  ASSERT_TRUE(firstPath && firstPath->isSuccess() && secondPath && secondPath->isSuccess());

  const fs::path a = firstPath->successValue();
  const fs::path b = secondPath->successValue();
  EXPECT_NE(a.parent_path(), b.parent_path());
  for (const fs::path& path : {a, b}) {
    EXPECT_EQ(path.filename(), "backup.json");
    EXPECT_EQ(path.parent_path().parent_path(), space_.file("tmp"));
    EXPECT_EQ(fs::status(path.parent_path()).permissions(), fs::perms::owner_all);
  }
  // The first reader is done before the second starts reading.
  EXPECT_THAT(files_->deleteItem(a), SucceedsWith(Void{}));
  EXPECT_FALSE(fs::exists(a.parent_path()));
  EXPECT_EQ(space_.read(b.string()), "{}");
  EXPECT_TRUE(fs::is_empty(space_.file("downloads")));
}

// ---- Answers

TEST_F(RemoteIOServiceTest, HostAnswersBecomeTheLibrarysCodes) {
  const Error hostError{"HostDomain", 42, "host says no"};
  const auto code = [](BackupSDKError error) { return makeError(error); };
  const auto failure = [](const auto& future) -> std::optional<Error> {
    const auto result = awaitResult(future);
    return result ? result->error() : std::nullopt;
  };
  const auto download = [&](RemoteIOService& s) { return failure(s.downloadFile("a", nullptr)); };
  const auto create = [&](RemoteIOService& s) { return failure(s.createDirectory("a", nullptr)); };
  const auto remove = [&](RemoteIOService& s) { return failure(s.deleteFile("a", nullptr)); };
  const auto list = [&](RemoteIOService& s) { return failure(s.getDirectoryInfo("a", nullptr)); };
  const struct {
    const char* what;
    std::function<void(FaultyDelegate&)> arm;
    std::function<std::optional<Error>(RemoteIOService&)> call;
    Error expected;
  } rows[] = {
      {"download: a file without folder",
       [](FaultyDelegate& h) { h.answerDownloadWith("download-1", std::nullopt); }, download,
       code(BackupSDKError::delegateFileDownloadFailed)},
      {"download: the host's code",
       [](FaultyDelegate& h) {
         h.answerDownloadWith({}, BackupSDKError::delegateFileDoesNotExist);
       },
       [&](RemoteIOService& s) { return failure(s.downloadFile("a", 10, nullptr)); },
       code(BackupSDKError::delegateFileDoesNotExist)},
      {"createDirectory: exists", [](FaultyDelegate& h) { h.answerCreateDirectoryWith(true, {}); },
       create, code(BackupSDKError::delegateDirectoryExist)},
      {"createDirectory: exists wins over an error",
       [&](FaultyDelegate& h) { h.answerCreateDirectoryWith(true, hostError); }, create,
       code(BackupSDKError::delegateDirectoryExist)},
      {"createDirectory: the host's error",
       [&](FaultyDelegate& h) { h.answerCreateDirectoryWith(false, hostError); }, create,
       hostError},
      {"deleteFile: not deleted, no error",
       [](FaultyDelegate& h) { h.answerDeleteFileWith(false, {}); }, remove,
       code(BackupSDKError::delegateDeleteFileFailed)},
      {"deleteFile: the host's error",
       [&](FaultyDelegate& h) { h.answerDeleteFileWith(false, hostError); }, remove, hostError},
      {"getDirectoryInfo: the host's error",
       [&](FaultyDelegate& h) { h.answerDirectoryInfoWith({}, hostError); }, list, hostError},
      {"uploadFileIfAbsent: the host's error",
       [&](FaultyDelegate& h) { h.answerUploadFileIfAbsentWith(false, hostError); },
       [&](RemoteIOService& s) {
         return failure(s.uploadFileIfAbsent(local("x", "x"), "x", nullptr));
       },
       hostError},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    auto host = std::make_shared<FaultyDelegate>(remote_);
    RemoteIOService service(host, files_, nullptr, reporter_);
    row.arm(*host);
    const auto error = row.call(service);
    ASSERT_THAT(error, IsError(row.expected.domain, row.expected.code));
    if (row.expected.domain == "HostDomain") {
      EXPECT_EQ(error->message, row.expected.message);
    }
  }
}

TEST_F(RemoteIOServiceTest, EveryFutureCompletesOnTheBackgroundQueue) {
  ASSERT_THAT(awaitResult(service_.uploadFile(local("a", "a"), "a", token_)), SucceedsWith(Void{}));
  writeArchive(remotePath("z.zip"), {{"in/z", "z"}});
  for (Delivery delivery : {Delivery::asIs, Delivery::twice}) {
    SCOPED_TRACE(static_cast<int>(delivery));
    host_->setDelivery(delivery);
    BackgroundGate gate;
    const std::vector<Future<bool>> checks = {
        completesOnBackgroundQueue(service_.uploadFile(local("b", "b"), "b", token_)),
        completesOnBackgroundQueue(service_.downloadFile("a", token_)),
        completesOnBackgroundQueue(service_.createDirectory("d", token_)),
        completesOnBackgroundQueue(service_.getDirectoryInfo("", token_)),
        completesOnBackgroundQueue(service_.inflateZip("z.zip", "out", token_)),
        completesOnBackgroundQueue(service_.deleteFile("b", token_)),
        completesOnBackgroundQueue(
            service_.uploadFileInternal(local("c", "c"), "c", nullptr, token_)),
        completesOnBackgroundQueue(service_.uploadFileIfAbsent(local("e", "e"), "e", token_)),
    };
    gate.open();
    for (const auto& check : checks) EXPECT_THAT(awaitResult(check), SucceedsWith(true));
    ASSERT_TRUE(flushBackgroundQueue());
    fs::remove_all(remotePath("d"));
    fs::remove_all(remotePath("out"));
  }
}

// ---- Progress

TEST_F(RemoteIOServiceTest, AFileAddsItsBytesAsItGoesButCountsOnlyWhenDone) {
  statusManager_->setFileStatus(FileStatus{3, 1, 3000, 1000});
  reporter_->setFileSize(1000);
  for (double fraction : {0.0, 0.5, 0.999, 1.0}) {
    reporter_->reportFractionalProgressOnBackup(TransferProgress{fraction});
    reporter_->reportFractionalProgressOnRestore(TransferProgress{fraction});
  }
  ASSERT_TRUE(flushBackgroundQueue());

  const std::vector<FileStatus> expected = {
      {3, 1, 3000, 1000}, {3, 1, 3000, 1500}, {3, 1, 3000, 1999}, {3, 2, 3000, 2000}};
  EXPECT_EQ(statuses(backup_), expected);
  EXPECT_EQ(statuses(restore_), expected);
  EXPECT_EQ(statusManager_->fileStatus(), (FileStatus{3, 1, 3000, 1000}));
}

// Whatever fraction the host sends, and whatever size a record gives a file, the progress of a
// transfer stays within that one file.
TEST_F(RemoteIOServiceTest, HostileFractionsStayWithinTheFile) {
  const struct {
    const char* name;
    double fraction;
    int64_t fileSize;
    int processed;
    int64_t processedBytes;
  } rows[] = {
      {"not a number", std::nan(""), 1000, 0, 0},
      {"negative", -3.0, 1000, 0, 0},
      {"far past the end", 1e308, 1000, 1, 1000},
      {"infinite", std::numeric_limits<double>::infinity(), 1000, 1, 1000},
      {"half of a negative size", 0.5, -1000, 0, 0},
      {"all of the largest size", 1.0, std::numeric_limits<int64_t>::max(), 1,
       std::numeric_limits<int64_t>::max() - 1023},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    reporter_->setFileSize(row.fileSize);
    reporter_->reportFractionalProgressOnBackup(TransferProgress{row.fraction});
    const uint64_t transfer = reporter_->beginTransferOnRestore(row.fileSize);
    reporter_->reportTransferProgressOnRestore(transfer, TransferProgress{row.fraction});
    reporter_->endTransferOnRestore(transfer);
    ASSERT_TRUE(flushBackgroundQueue());
    for (const std::vector<FileStatus>& reported : {statuses(backup_), statuses(restore_)}) {
      ASSERT_FALSE(reported.empty());
      EXPECT_EQ(reported.back().processed, row.processed);
      EXPECT_EQ(reported.back().processedBytes, row.processedBytes);
    }
  }
}

TEST_F(RemoteIOServiceTest, DownloadsSideBySideAddTheirOwnBytesUntilEachHasEnded) {
  statusManager_->setFileStatus(FileStatus{3, 1, 5000, 1000});
  const uint64_t small = reporter_->beginTransferOnRestore(1000);
  const uint64_t large = reporter_->beginTransferOnRestore(3000);
  reporter_->reportTransferProgressOnRestore(small, TransferProgress{0.5});
  reporter_->reportTransferProgressOnRestore(large, TransferProgress{0.5});
  reporter_->reportTransferProgressOnRestore(small, TransferProgress{1.0});
  reporter_->endTransferOnRestore(small);
  // A host's late report of a finished transfer must not count it again.
  reporter_->reportTransferProgressOnRestore(small, TransferProgress{1.0});
  reporter_->reportTransferProgressOnRestore(large, TransferProgress{0.75});
  ASSERT_TRUE(flushBackgroundQueue());

  const std::vector<FileStatus> expected = {
      {3, 1, 5000, 1500}, {3, 1, 5000, 3000}, {3, 2, 5000, 3500}, {3, 1, 5000, 3250}};
  EXPECT_EQ(statuses(restore_), expected);
}

TEST_F(RemoteIOServiceTest, TheLibrarysOwnUploadsLeaveTheRunsProgressAlone) {
  // An archive of 1000 bytes is on its way when the lock's record goes up beside it.
  statusManager_->setFileStatus(FileStatus{3, 1, 3000, 1000});
  reporter_->setFileSize(1000);
  const std::string record = local("lock.json", std::string(100000, 'x'));
  ASSERT_THAT(awaitResult(service_.uploadFileInternal(record, "lock.json", nullptr, nullptr)),
              SucceedsWith(Void{}));
  ASSERT_THAT(awaitResult(service_.uploadFileIfAbsent(record, "other.json", nullptr)),
              SucceedsWith(true));
  reporter_->reportFractionalProgressOnBackup(TransferProgress{0.5});
  ASSERT_TRUE(flushBackgroundQueue());
  EXPECT_EQ(statuses(backup_), (std::vector<FileStatus>{{3, 1, 3000, 1500}}));
}

}  // namespace
}  // namespace tessellon
