#include "remote/RemoteIOService.h"

#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "delegates/LocalFolderDelegate.h"
#include "platform/files/FileIOService.h"
#include "remote/DelegateCalls.h"
#include "remote/SingleFileTransferStateReporter.h"
#include "remote/TestArchives.h"
#include "sdk/Async.h"
#include "sdk/CancelToken.h"
#include "sdk/FileStatusManager.h"
#include "sdk/NotificationService.h"
#include "support/AwaitResult.h"
#include "support/BackgroundQueue.h"
#include "support/ErrorMatchers.h"
#include "support/FaultyDelegate.h"
#include "support/RecordingLogger.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using Delivery = FaultyDelegate::Delivery;
using ::testing::ElementsAre;
using ::testing::Pair;

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
  void TearDown() override {
    // Answers held or in flight must not reach a torn-down fixture.
    EXPECT_TRUE(flushBackgroundQueue());
  }

  std::string local(const std::string& name, const std::string& bytes) {
    return space_.write("local/" + name, bytes);
  }
  std::string remotePath(const std::string& relative) { return space_.file("remote/" + relative); }

  std::vector<FileStatus> backupStatuses() {
    std::lock_guard lock(statusMutex_);
    return backupStatuses_;
  }
  std::vector<FileStatus> restoreStatuses() {
    std::lock_guard lock(statusMutex_);
    return restoreStatuses_;
  }
  void recordProgress() {
    notifications_->setBackupProgress([this](const FileStatus& status) {
      std::lock_guard lock(statusMutex_);
      backupStatuses_.push_back(status);
    });
    notifications_->setRestoreProgress([this](const FileStatus& status) {
      std::lock_guard lock(statusMutex_);
      restoreStatuses_.push_back(status);
    });
  }

  std::optional<Error> failureOf(const std::optional<FutureResult<Void>>& result) {
    return result ? result->error() : std::nullopt;
  }

  TempDir space_;
  std::shared_ptr<hosts::LocalFolderDelegate> remote_ =
      std::make_shared<hosts::LocalFolderDelegate>(space_.file("remote"), 4096, std::nullopt,
                                                   space_.file("downloads"));
  std::shared_ptr<FaultyDelegate> host_ = std::make_shared<FaultyDelegate>(remote_);
  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
  std::shared_ptr<NotificationService> notifications_ =
      std::make_shared<NotificationService>(nullptr);
  std::shared_ptr<FileStatusManager> statusManager_ =
      std::make_shared<FileStatusManager>(notifications_);
  std::shared_ptr<FileIOService> files_ = std::make_shared<FileIOService>(space_.file("tmp"));
  std::shared_ptr<SingleFileTransferStateReporter> reporter_ =
      std::make_shared<SingleFileTransferStateReporter>(statusManager_);
  RemoteIOService service_{host_, files_, logger_, reporter_};
  std::shared_ptr<CancelToken> token_ = std::make_shared<CancelToken>();

  std::mutex statusMutex_;
  std::vector<FileStatus> backupStatuses_;
  std::vector<FileStatus> restoreStatuses_;
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
  EXPECT_TRUE(logger_->lines().empty());
}

TEST_F(RemoteIOServiceTest, CancellingARunningRequestEndsItAndIgnoresTheLateAnswer) {
  space_.write("tmp/download-1", "fresh");
  host_->answerDownloadWith(space_.file("tmp/download-1"), std::nullopt);
  host_->setDelivery(Delivery::late);

  const auto upload = service_.uploadFile(local("a", "bytes"), "a", token_);
  const auto download = service_.downloadFile("dev1/backup.json", token_);
  const auto folder = service_.createDirectory("dev1", token_);
  ASSERT_TRUE(host_->waitForHeld(3));

  ASSERT_TRUE(token_->cancel().ok());
  EXPECT_EQ(host_->transferCancels(), 2);
  EXPECT_THAT(awaitResult(upload), IsCancelled());
  EXPECT_THAT(awaitResult(download), IsCancelled());
  EXPECT_THAT(awaitResult(folder), IsCancelled());

  // The answers arrive after all: successes, and a file to move. Nothing changes.
  host_->deliverHeld();
  ASSERT_TRUE(flushBackgroundQueue());
  EXPECT_THAT(upload, IsCancelled());
  EXPECT_THAT(download, IsCancelled());
  EXPECT_THAT(folder, IsCancelled());
  EXPECT_TRUE(fs::exists(space_.file("tmp/download-1")));
  EXPECT_FALSE(fs::exists(space_.file("tmp/backup.json")));
}

TEST_F(RemoteIOServiceTest, CancellationEndsRequestsTheHostNeverAnswers) {
  host_->setDelivery(Delivery::never);
  writeArchive(remotePath("dev1.zip"), {{"a", "a"}});
  const std::vector<Future<Void>> pending = {
      service_.uploadFile(local("a", "a"), "a", token_),
      service_.createDirectory("dev1", token_),
      service_.deleteFile("dev1.zip", token_),
      service_.inflateZip("dev1.zip", "dev1", token_),
  };
  const auto listing = service_.getDirectoryInfo("", token_);
  const auto download = service_.downloadFile("a", token_);
  ASSERT_TRUE(flushBackgroundQueue());
  for (const auto& future : pending) EXPECT_FALSE(future.isCompleted());

  ASSERT_TRUE(token_->cancel().ok());

  for (const auto& future : pending) EXPECT_THAT(awaitResult(future), IsCancelled());
  EXPECT_THAT(awaitResult(listing), IsCancelled());
  EXPECT_THAT(awaitResult(download), IsCancelled());
}

// ---- Answers

TEST_F(RemoteIOServiceTest, EmptyAnswersBecomeTheLibrarysCodes) {
  const Error hostError{"HostDomain", 42, "host says no"};
  struct Row {
    const char* what;
    std::function<void(FaultyDelegate&)> arm;
    std::function<std::optional<Error>(RemoteIOService&)> call;
    Error expected;
  };
  auto failure = [](const auto& future) -> std::optional<Error> {
    const auto result = awaitResult(future);
    return result ? result->error() : std::nullopt;
  };
  const std::vector<Row> rows = {
      {"download: neither path nor error",
       [](FaultyDelegate& h) { h.answerDownloadWith(std::nullopt, std::nullopt); },
       [&](RemoteIOService& s) { return failure(s.downloadFile("a", nullptr)); },
       makeError(BackupSDKError::delegateFileDownloadFailed)},
      {"download: the host's code",
       [](FaultyDelegate& h) {
         h.answerDownloadWith(std::nullopt, BackupSDKError::delegateFileDoesNotExist);
       },
       [&](RemoteIOService& s) { return failure(s.downloadFile("a", 10, nullptr)); },
       makeError(BackupSDKError::delegateFileDoesNotExist)},
      {"download: a file without folder",
       [](FaultyDelegate& h) { h.answerDownloadWith("download-1", std::nullopt); },
       [&](RemoteIOService& s) { return failure(s.downloadFile("a", nullptr)); },
       makeError(BackupSDKError::delegateFileDownloadFailed)},
      {"createDirectory: exists",
       [](FaultyDelegate& h) { h.answerCreateDirectoryWith(true, std::nullopt); },
       [&](RemoteIOService& s) { return failure(s.createDirectory("a", nullptr)); },
       makeError(BackupSDKError::delegateDirectoryExist)},
      {"createDirectory: exists wins over an error",
       [&](FaultyDelegate& h) { h.answerCreateDirectoryWith(true, hostError); },
       [&](RemoteIOService& s) { return failure(s.createDirectory("a", nullptr)); },
       makeError(BackupSDKError::delegateDirectoryExist)},
      {"createDirectory: the host's error",
       [&](FaultyDelegate& h) { h.answerCreateDirectoryWith(false, hostError); },
       [&](RemoteIOService& s) { return failure(s.createDirectory("a", nullptr)); }, hostError},
      {"deleteFile: not deleted, no error",
       [](FaultyDelegate& h) { h.answerDeleteFileWith(false, std::nullopt); },
       [&](RemoteIOService& s) { return failure(s.deleteFile("a", nullptr)); },
       makeError(BackupSDKError::delegateDeleteFileFailed)},
      {"deleteFile: the host's error",
       [&](FaultyDelegate& h) { h.answerDeleteFileWith(false, hostError); },
       [&](RemoteIOService& s) { return failure(s.deleteFile("a", nullptr)); }, hostError},
      {"getDirectoryInfo: neither listing nor error",
       [](FaultyDelegate& h) { h.answerDirectoryInfoWith(std::nullopt, std::nullopt); },
       [&](RemoteIOService& s) { return failure(s.getDirectoryInfo("a", nullptr)); },
       makeError(BackupSDKError::delegateDirectoryInfoFailed)},
      {"getDirectoryInfo: the host's error",
       [&](FaultyDelegate& h) { h.answerDirectoryInfoWith(std::nullopt, hostError); },
       [&](RemoteIOService& s) { return failure(s.getDirectoryInfo("a", nullptr)); }, hostError},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    auto host = std::make_shared<FaultyDelegate>(remote_);
    RemoteIOService service(host, files_, nullptr, reporter_);
    row.arm(*host);

    const auto error = row.call(service);

    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->domain, row.expected.domain);
    EXPECT_EQ(error->code, row.expected.code);
    if (row.expected.domain == "HostDomain") {
      EXPECT_EQ(error->message, row.expected.message);
    }
  }
}

TEST_F(RemoteIOServiceTest, DownloadPutsTheFileUnderTheRemoteNameReplacingAnOldOne) {
  space_.write("tmp/download-7", "new record");
  space_.write("tmp/backup.json", "old record");
  host_->answerDownloadWith(space_.file("tmp/download-7"), std::nullopt);

  const auto path = awaitResult(service_.downloadFile("dev1/backup.json", token_));

  EXPECT_THAT(path, SucceedsWith(space_.file("tmp/backup.json")));
  EXPECT_EQ(space_.read("tmp/backup.json"), "new record");
  EXPECT_FALSE(fs::exists(space_.file("tmp/download-7")));
}

TEST_F(RemoteIOServiceTest, RoundTripThroughTheFolderRemote) {
  const std::string bytes = randomBytes(100000, 9);
  ASSERT_EQ(failureOf(awaitResult(service_.createDirectory("dev1", token_))), std::nullopt);
  ASSERT_EQ(failureOf(awaitResult(service_.uploadFile(local("i", bytes), "dev1/img", token_))),
            std::nullopt);

  const auto listing = awaitResult(service_.getDirectoryInfo("dev1", token_));
  const auto path = awaitResult(service_.downloadFile("dev1/img", token_));

  ASSERT_TRUE(listing && listing->isSuccess());
  ASSERT_EQ(listing->successValue().members.size(), 1u);
  EXPECT_EQ(listing->successValue().members[0].fullName, "dev1/img");
  ASSERT_TRUE(path && path->isSuccess());
  EXPECT_EQ(fs::path(path->successValue()).filename(), "img");
  EXPECT_EQ(space_.read(fs::relative(path->successValue(), space_.path()).string()), bytes);
  EXPECT_EQ(service_.getZipSize(), 4096);
}

TEST_F(RemoteIOServiceTest, AFailedUploadDoesNotStopTheOthers) {
  host_->failUpload(2, FaultyDelegate::insufficientStorage());
  std::vector<std::optional<Error>> failures;
  for (int i = 1; i <= 3; ++i) {
    const std::string name = "f" + std::to_string(i);
    failures.push_back(
        failureOf(awaitResult(service_.uploadFile(local(name, name + "-bytes"), name, token_))));
  }

  EXPECT_EQ(failures[0], std::nullopt);
  ASSERT_TRUE(failures[1].has_value());
  EXPECT_EQ(failures[1]->code, 507);
  EXPECT_EQ(failures[1]->domain, "FaultyDelegate");
  EXPECT_EQ(failures[2], std::nullopt);
  EXPECT_EQ(space_.read("remote/f1"), "f1-bytes");
  EXPECT_FALSE(fs::exists(remotePath("f2")));
  EXPECT_EQ(space_.read("remote/f3"), "f3-bytes");
}

TEST_F(RemoteIOServiceTest, EveryFutureCompletesOnTheBackgroundQueue) {
  ASSERT_EQ(failureOf(awaitResult(service_.uploadFile(local("a", "a"), "a", token_))),
            std::nullopt);
  writeArchive(remotePath("z.zip"), {{"in/z", "z"}});
  for (Delivery delivery : {Delivery::asIs, Delivery::foreignThread, Delivery::twice}) {
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
  recordProgress();
  statusManager_->setFileStatus(FileStatus{3, 1, 3000, 1000});
  reporter_->setFileSize(1000);
  for (double fraction : {0.0, 0.5, 0.999, 1.0}) {
    reporter_->reportFractionalProgressOnBackup(TransferProgress{fraction});
    reporter_->reportFractionalProgressOnRestore(TransferProgress{fraction});
  }
  ASSERT_TRUE(flushBackgroundQueue());

  const std::vector<FileStatus> expected = {
      {3, 1, 3000, 1000}, {3, 1, 3000, 1500}, {3, 1, 3000, 1999}, {3, 2, 3000, 2000}};
  EXPECT_EQ(backupStatuses(), expected);
  EXPECT_EQ(restoreStatuses(), expected);
  EXPECT_EQ(statusManager_->fileStatus(), (FileStatus{3, 1, 3000, 1000}));
}

TEST_F(RemoteIOServiceTest, TransfersReportTheirFileSizeAgainstTheRunningStatus) {
  recordProgress();
  statusManager_->setFileStatus(FileStatus{2, 0, 5000, 0});

  ASSERT_EQ(
      failureOf(awaitResult(service_.uploadFile(local("k", randomBytes(1000, 1)), "k", token_))),
      std::nullopt);
  // The size given for a download is the one reported, whatever the file's.
  ASSERT_TRUE(awaitResult(service_.downloadFile("k", 4000, token_))->isSuccess());
  ASSERT_TRUE(flushBackgroundQueue());

  ASSERT_FALSE(backupStatuses().empty());
  EXPECT_EQ(backupStatuses().back(), (FileStatus{2, 1, 5000, 1000}));
  ASSERT_FALSE(restoreStatuses().empty());
  EXPECT_EQ(restoreStatuses().back(), (FileStatus{2, 1, 5000, 4000}));
}

// ---- Log lines

TEST_F(RemoteIOServiceTest, EachRequestLogsItsLine) {
  const std::string file = local("a", "a");
  writeArchive(remotePath("dev1.zip"), {{"x", "x"}});
  awaitResult(service_.createDirectory("dev1", nullptr));
  awaitResult(service_.uploadFile(file, "dev1/a", nullptr));
  awaitResult(service_.downloadFile("dev1/a", nullptr));
  awaitResult(service_.downloadFile("dev1/a", 1, nullptr));
  awaitResult(service_.getDirectoryInfo("dev1", nullptr));
  awaitResult(service_.inflateZip("dev1.zip", "dev1", nullptr));
  awaitResult(service_.deleteFile("dev1/a", nullptr));

  EXPECT_THAT(
      logger_->lines(),
      ElementsAre(Pair(LogLevel::debug, "Quorro: create directory remotePath(relative)=dev1"),
                  Pair(LogLevel::debug,
                       "Quorro: upload file localPath=" + file + " remotePath(relative)=dev1/a"),
                  Pair(LogLevel::debug, "Quorro: download file remotePath(relative)=dev1/a"),
                  Pair(LogLevel::debug, "Quorro: download file remotePath(relative)=dev1/a"),
                  Pair(LogLevel::debug, "Quorro: get directory info remotePath(relative)=dev1"),
                  Pair(LogLevel::debug,
                       "Quorro: inflate zip remoteSrcPath(relative)=dev1.zip remoteDestPath=dev1"),
                  Pair(LogLevel::debug, "Quorro: delete file remotePath(relative)=dev1/a")));
}

TEST_F(RemoteIOServiceTest, AnUnmeasurableFileIsWarnedAboutAndLeftToTheHost) {
  const std::string missing = space_.file("local/missing");

  const auto upload = awaitResult(service_.uploadFile(missing, "m", token_));

  EXPECT_THAT(logger_->lines(),
              ElementsAre(Pair(LogLevel::debug, "Quorro: upload file localPath=" + missing +
                                                    " remotePath(relative)=m"),
                          Pair(LogLevel::warning, "Quorro: upload file localPath=" + missing +
                                                      " cannot request filesize")));
  // The host's own error comes back unchanged.
  ASSERT_TRUE(upload && upload->isFail());
  EXPECT_EQ(upload->failure().domain, "NSPOSIXErrorDomain");
  EXPECT_EQ(upload->failure().code, ENOENT);
}

TEST_F(RemoteIOServiceTest, WithoutAFileServiceDownloadsCannotBePutInPlace) {
  RemoteIOService service(host_, nullptr, logger_, reporter_);
  const std::string file = local("a", "a");

  EXPECT_THAT(awaitResult(service.uploadFile(file, "a", token_)), SucceedsWith(Void{}));
  EXPECT_EQ(logger_->count(LogLevel::warning, "Quorro: upload file localPath=" + file), 1u);
  EXPECT_THAT(awaitResult(service.downloadFile("a", token_)),
              FailsWith(BackupSDKError::fileIOFailedToMoveFile));
}

}  // namespace
}  // namespace tessellon
