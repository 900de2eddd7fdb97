// The remote port against a host that breaks the delegate's contract: it answers twice, never,
// with both a value and an error or with neither, reports progress after answering, hands over
// files it must not, lists names no file can have, or reports cancellation as an error.

#include <sys/stat.h>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/Async.h"
#include "core/CancelToken.h"
#include "core/FileStatusManager.h"
#include "core/NotificationService.h"
#include "platform/Warnings.h"
#include "platform/files/FileIOService.h"
#include "remote/RemoteIOService.h"
#include "remote/SingleFileTransferStateReporter.h"
#include "support/AwaitResult.h"
#include "support/BackgroundQueue.h"
#include "support/ErrorMatchers.h"
#include "support/RecordingLogger.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Progress = std::function<void(const TransferProgress&)>;

// A host that answers only when the test tells it to, as often and with whatever the test
// chooses; or, when `answerAtOnce` is set, inside its own call.
class PuppetHost final : public BackupSDKDelegate {
 public:
  template <class... Args>
  struct Call {
    std::string path;
    Progress progress;
    std::function<void(Args...)> answer;
  };

  class Handle final : public CancellationDelegate {
   public:
    explicit Handle(std::atomic<int>& cancels) : cancels_(cancels) {}
    void cancel() override { ++cancels_; }

   private:
    std::atomic<int>& cancels_;
  };

  std::vector<Call<std::optional<Error>>> uploads, inflations;
  std::vector<Call<std::optional<std::string>, std::optional<BackupSDKError>>> downloads;
  std::vector<Call<bool, std::optional<Error>>> creations, deletions, uploadsIfAbsent;
  std::vector<Call<std::optional<Directory>, std::optional<Error>>> listings;
  std::atomic<int> cancels{0};
  std::atomic<int64_t> zipSize{1 << 20};
  std::function<void(const std::function<void(std::optional<Error>)>&)> answerAtOnce;

  std::shared_ptr<CancellationDelegate> uploadFile(
      const std::string&, const std::string& path, Progress progress,
      std::function<void(std::optional<Error>)> completion) override {
    if (answerAtOnce) answerAtOnce(completion);
    uploads.push_back({path, std::move(progress), std::move(completion)});
    return std::make_shared<Handle>(cancels);
  }
  std::shared_ptr<CancellationDelegate> downloadFile(
      const std::string& path, Progress progress,
      std::function<void(std::optional<std::string>, std::optional<BackupSDKError>)> completion)
      override {
    downloads.push_back({path, std::move(progress), std::move(completion)});
    return std::make_shared<Handle>(cancels);
  }
  void uploadFileIfAbsent(const std::string&, const std::string& path,
                          std::function<void(bool, std::optional<Error>)> completion) override {
    uploadsIfAbsent.push_back({path, nullptr, std::move(completion)});
  }
  void createDirectory(const std::string& path,
                       std::function<void(bool, std::optional<Error>)> completion) override {
    creations.push_back({path, nullptr, std::move(completion)});
  }
  void deleteFile(const std::string& path,
                  std::function<void(bool, std::optional<Error>)> completion) override {
    deletions.push_back({path, nullptr, std::move(completion)});
  }
  void getDirectoryInfo(
      const std::string& path,
      std::function<void(std::optional<Directory>, std::optional<Error>)> completion) override {
    listings.push_back({path, nullptr, std::move(completion)});
  }
  void inflateZip(const std::string& source, const std::string&,
                  std::function<void(std::optional<Error>)> completion) override {
    inflations.push_back({source, nullptr, std::move(completion)});
  }
  int64_t getZipSize() override { return zipSize; }
};

class MisbehavingHostTest : public ::testing::Test {
 protected:
  MisbehavingHostTest() {
    notifications_->setBackupProgress([this](const FileStatus& status) {
      std::lock_guard lock(mutex_);
      backupProgress_.push_back(status);
    });
  }
  void TearDown() override { EXPECT_TRUE(flushBackgroundQueue()); }

  // A port over the puppet whose requests fail after `limit` without an answer; the host keeps
  // its downloads in "host".
  std::shared_ptr<RemoteIOService> port(std::chrono::milliseconds limit = 1h) {
    return std::make_shared<RemoteIOService>(
        host_, files_, logger_, reporter_, space_.file("private"), limit,
        std::vector<std::string>{space_.file("Pictures")},
        std::vector<std::string>{space_.file("host"), space_.file("Pictures")});
  }
  size_t warnings(const std::string& part) const { return warningsContaining(*logger_, part); }
  size_t backupReports() {
    EXPECT_TRUE(flushBackgroundQueue());
    std::lock_guard lock(mutex_);
    return backupProgress_.size();
  }

  TempDir space_;
  std::shared_ptr<PuppetHost> host_ = std::make_shared<PuppetHost>();
  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
  std::shared_ptr<NotificationService> notifications_ =
      std::make_shared<NotificationService>(nullptr);
  std::shared_ptr<FileIOService> files_ = std::make_shared<FileIOService>(space_.file("private"));
  std::shared_ptr<SingleFileTransferStateReporter> reporter_ =
      std::make_shared<SingleFileTransferStateReporter>(
          std::make_shared<FileStatusManager>(notifications_));
  std::shared_ptr<CancelToken> token_ = std::make_shared<CancelToken>();
  std::mutex mutex_;
  std::vector<FileStatus> backupProgress_;
};

// ---- Answers that come twice, too late, or not at all

TEST_F(MisbehavingHostTest, OnlyTheFirstAnswerCountsAndRepeatsAreLoggedOncePerRequest) {
  auto remote = port();
  const auto upload = remote->uploadFile(space_.write("a", "a"), "dev/a", token_);
  const auto listing = remote->getDirectoryInfo("dev", token_);
  const auto download = remote->downloadFile("dev/b", token_);
  const std::string first = space_.write("host/first", "first");
  const std::string second = space_.write("host/second", "second");

  for (int i = 0; i < 3; ++i)
    host_->uploads[0].answer(i == 0 ? std::nullopt : std::optional(Error{"H", 1, "late"}));
  host_->listings[0].answer(Directory{{{"dev/a", 1, MemberType::file}}}, std::nullopt);
  host_->listings[0].answer(std::nullopt, Error{"H", 2, "second thoughts"});
  host_->downloads[0].answer(first, std::nullopt);
  host_->downloads[0].answer(second, std::nullopt);

  EXPECT_THAT(awaitResult(upload), SucceedsWith(Void{}));
  EXPECT_THAT(awaitResult(listing), SucceedsWith(::testing::Pointee(::testing::Field(
                                        &Directory::members, ::testing::SizeIs(1)))));
  const auto downloaded = awaitResult(download);
  ASSERT_TRUE(downloaded && downloaded->isSuccess());
  EXPECT_EQ(space_.read(downloaded->successValue()), "first");
  // The second file is the host's business: neither taken nor removed.
  EXPECT_EQ(space_.read("host/second"), "second");
  ASSERT_TRUE(flushBackgroundQueue());
  EXPECT_EQ(warnings("more than once"), 3u);
}

// A host that cannot unpack on the remote sends the whole archive while it inflates, without
// progress to report: 512 MiB at a slow line's pace must not count as a silent host.
TEST_F(MisbehavingHostTest, AnInflationHasOneLimitPer64MiBOfTheArchiveSize) {
  host_->zipSize = int64_t{512} << 20;
  auto remote = port(100ms);
  const auto inflation = remote->inflateZip("dev/dev.zip", "dev", token_);
  const auto upload = remote->uploadFile(space_.write("a", "a"), "dev/a", token_);
  EXPECT_THAT(awaitResult(upload), FailsWith(BackupSDKError::fileIOFailedToUploadFile));
  EXPECT_FALSE(inflation.isCompleted());
  EXPECT_THAT(awaitResult(inflation), FailsWith(BackupSDKError::fileIOFailedToUploadFile));
}

TEST_F(MisbehavingHostTest, ASilentHostFailsEachRequestWithItsTransferCodeAndIsCancelled) {
  auto remote = port(50ms);
  const auto upload = remote->uploadFile(space_.write("a", "a"), "dev/a", token_);
  const auto inflation = remote->inflateZip("dev/dev.zip", "dev", token_);
  const auto ifAbsent = remote->uploadFileIfAbsent(space_.write("l", "l"), "dev/lock", token_);
  const auto download = remote->downloadFile("dev/b", token_);
  const auto listing = remote->getDirectoryInfo("dev", token_);
  const auto creation = remote->createDirectory("dev", token_);
  const auto deletion = remote->deleteFile("dev/old", token_);

  EXPECT_THAT(awaitResult(upload), FailsWith(BackupSDKError::fileIOFailedToUploadFile));
  EXPECT_THAT(awaitResult(inflation), FailsWith(BackupSDKError::fileIOFailedToUploadFile));
  EXPECT_THAT(awaitResult(ifAbsent), FailsWith(BackupSDKError::fileIOFailedToUploadFile));
  EXPECT_THAT(awaitResult(download), FailsWith(BackupSDKError::delegateFileDownloadFailed));
  EXPECT_THAT(awaitResult(listing), FailsWith(BackupSDKError::delegateDirectoryInfoFailed));
  EXPECT_THAT(awaitResult(creation), FailsWith(BackupSDKError::delegateDirectoryCreationFailed));
  EXPECT_THAT(awaitResult(deletion), FailsWith(BackupSDKError::delegateDeleteFileFailed));
  EXPECT_THAT(download.result()->failure().message, ::testing::HasSubstr("download of dev/b"));
  // Both transfers' handles were told to stop.
  for (int i = 0; i < 100 && host_->cancels.load() < 2; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(host_->cancels.load(), 2);

  // The download's file turns up after all: nobody reads it, so it goes.
  const std::string late = space_.write("host/late", "late");
  host_->downloads[0].answer(late, std::nullopt);
  host_->uploads[0].answer(std::nullopt);
  ASSERT_TRUE(flushBackgroundQueue());
  EXPECT_FALSE(fs::exists(late));
  EXPECT_THAT(upload, FailsWith(BackupSDKError::fileIOFailedToUploadFile));
}

TEST_F(MisbehavingHostTest, ProgressKeepsASlowTransferAliveAndIsIgnoredOnceAnswered) {
  auto remote = port(150ms);
  reporter_->setFileSize(1000);
  const auto upload = remote->uploadFile(space_.write("a", "a"), "dev/a", token_);
  // Twice the limit in all, never a limit without progress.
  for (int i = 1; i <= 6; ++i) {
    std::this_thread::sleep_for(50ms);
    host_->uploads[0].progress(TransferProgress{i / 10.0});
  }
  EXPECT_FALSE(upload.isCompleted());
  host_->uploads[0].answer(std::nullopt);
  EXPECT_THAT(awaitResult(upload), SucceedsWith(Void{}));

  const size_t reported = backupReports();
  EXPECT_EQ(reported, 6u);
  host_->uploads[0].progress(TransferProgress{0.9});
  EXPECT_EQ(backupReports(), reported);
}

TEST_F(MisbehavingHostTest, AnAnswerInsideTheHostsCallNeedsNothingTheCallerHolds) {
  auto remote = port(50ms);
  host_->answerAtOnce = [](const auto& completion) { completion(std::nullopt); };
  // The caller holds its lock across the call; the continuation needs the same lock, so it
  // must run elsewhere, after the caller let go. The background queue waits until the
  // continuation is attached: an answer completed inside the call would run it right here.
  std::promise<void> attached;
  Async::background([ready = attached.get_future().share()] { ready.wait(); });
  std::mutex callerLock;
  std::unique_lock held(callerLock);
  const auto caller = std::this_thread::get_id();
  const Future<bool> continued =
      remote->uploadFile(space_.write("a", "a"), "dev/a", token_)
          .onComplete(Executor::immediate(), [&](const FutureResult<Void>& result) {
            if (std::this_thread::get_id() == caller) return FutureResult<bool>::success(false);
            std::lock_guard again(callerLock);
            return FutureResult<bool>::success(result.isSuccess());
          });
  attached.set_value();
  held.unlock();
  EXPECT_THAT(awaitResult(continued), SucceedsWith(true));
  // The answer stopped the clock: the time limit passing later changes nothing.
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(warnings("neither an answer nor progress"), 0u);
}

// ---- Answers that contradict themselves

TEST_F(MisbehavingHostTest, AnAnswerWithBothOrNeitherFailsNamingTheRequest) {
  const Error hostError{"HostDomain", 7, "broken"};
  const std::string file = space_.write("host/f", "f");
  struct Row {
    const char* what;
    std::function<std::optional<FutureResult<Void>>(RemoteIOService&, PuppetHost&)> run;
    BackupSDKError code;
    const char* named;
  };
  const auto done = [](const auto& future) -> std::optional<FutureResult<Void>> {
    const auto result = awaitResult(future);
    if (!result) return std::nullopt;
    if (result->isFail()) return FutureResult<Void>::fail(result->failure());
    return result->isSuccess() ? FutureResult<Void>::success(Void{})
                               : FutureResult<Void>::cancelled();
  };
  const Row rows[] = {
      {"download: a file and an error",
       [&](RemoteIOService& r, PuppetHost& h) {
         auto f = r.downloadFile("dev/x", nullptr);
         h.downloads.back().answer(file, BackupSDKError::delegateFileDoesNotExist);
         return done(f);
       },
       BackupSDKError::delegateFileDownloadFailed, "download of dev/x"},
      {"download: neither",
       [&](RemoteIOService& r, PuppetHost& h) {
         auto f = r.downloadFile("dev/x", nullptr);
         h.downloads.back().answer(std::nullopt, std::nullopt);
         return done(f);
       },
       BackupSDKError::delegateFileDownloadFailed, "download of dev/x"},
      {"listing: both",
       [&](RemoteIOService& r, PuppetHost& h) {
         auto f = r.getDirectoryInfo("dev", nullptr);
         h.listings.back().answer(Directory{}, hostError);
         return done(f);
       },
       BackupSDKError::delegateDirectoryInfoFailed, "listing of dev"},
      {"listing: neither",
       [&](RemoteIOService& r, PuppetHost& h) {
         auto f = r.getDirectoryInfo("dev", nullptr);
         h.listings.back().answer(std::nullopt, std::nullopt);
         return done(f);
       },
       BackupSDKError::delegateDirectoryInfoFailed, "listing of dev"},
      {"upload if absent: made and failed",
       [&](RemoteIOService& r, PuppetHost& h) {
         auto f = r.uploadFileIfAbsent(file, "dev/lock", nullptr);
         h.uploadsIfAbsent.back().answer(true, hostError);
         return done(f);
       },
       BackupSDKError::fileIOFailedToUploadFile, "upload if absent of dev/lock"},
      {"deletion: deleted and failed",
       [&](RemoteIOService& r, PuppetHost& h) {
         auto f = r.deleteFile("dev/old", nullptr);
         h.deletions.back().answer(true, hostError);
         return done(f);
       },
       BackupSDKError::delegateDeleteFileFailed, "deletion of dev/old"},
  };
  auto remote = port();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const auto result = row.run(*remote, *host_);
    ASSERT_THAT(result, FailsWith(row.code));
    EXPECT_THAT(result->failure().message, ::testing::HasSubstr(row.named));
  }
  // Nothing was taken from the host, and no folder made for it.
  EXPECT_EQ(space_.read("host/f"), "f");
  EXPECT_FALSE(fs::exists(space_.file("private")) && !fs::is_empty(space_.file("private")));
}

TEST_F(MisbehavingHostTest, ErrorsOfTheCancellationClassEndRequestsAsCancelled) {
  auto remote = port();
  const auto upload = remote->uploadFile(space_.write("a", "a"), "dev/a", nullptr);
  const auto inflation = remote->inflateZip("dev/dev.zip", "dev", nullptr);
  const auto listing = remote->getDirectoryInfo("dev", nullptr);
  const auto creation = remote->createDirectory("dev", nullptr);
  const auto deletion = remote->deleteFile("dev/old", nullptr);
  host_->uploads[0].answer(Error{"NSURLErrorDomain", -999, "cancelled"});
  host_->inflations[0].answer(Error{"NSURLErrorDomain", -1012, "user cancelled auth"});
  host_->listings[0].answer(std::nullopt, Error{"NSCocoaErrorDomain", 3072, "cancelled"});
  host_->creations[0].answer(false, Error{"NSURLErrorDomain", -999, "cancelled"});
  host_->deletions[0].answer(false, Error{"NSURLErrorDomain", -999, "cancelled"});
  EXPECT_THAT(awaitResult(upload), IsCancelled());
  EXPECT_THAT(awaitResult(inflation), IsCancelled());
  EXPECT_THAT(awaitResult(listing), IsCancelled());
  EXPECT_THAT(awaitResult(creation), IsCancelled());
  EXPECT_THAT(awaitResult(deletion), IsCancelled());
}

// ---- Files and names the library must not act on

TEST_F(MisbehavingHostTest, ADownloadedPathThatIsNoPlainFileOfTheHostsIsLeftAlone) {
  const std::string photo = space_.write("Pictures/photo.jpg", "the user's photo");
  const std::string elsewhere = space_.write("elsewhere/secret", "secret");
  fs::create_directories(space_.file("host"));
  fs::create_symlink(elsewhere, space_.file("host/link"));
  fs::create_directories(space_.file("host/folder"));
  ASSERT_EQ(::mkfifo(space_.file("host/fifo").c_str(), 0600), 0);
  const struct {
    const char* what;
    std::string path;
  } rows[] = {
      {"a link", space_.file("host/link")},
      {"a folder", space_.file("host/folder")},
      {"a named pipe", space_.file("host/fifo")},
      {"a file of the user's", photo},
      {"a file outside the temporary folders", elsewhere},
      {"a path climbing out", space_.file("host/../Pictures/photo.jpg")},
      {"a relative path", "host/plain"},
  };
  auto remote = port();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const auto download = remote->downloadFile("dev/x", nullptr);
    host_->downloads.back().answer(row.path, std::nullopt);
    EXPECT_THAT(awaitResult(download), FailsWith(BackupSDKError::delegateFileDownloadFailed));
    EXPECT_THAT(download.result()->failure().message, ::testing::HasSubstr(row.path));
  }
  EXPECT_EQ(space_.read(photo), "the user's photo");
  EXPECT_EQ(space_.read(elsewhere), "secret");
  EXPECT_TRUE(fs::is_symlink(space_.file("host/link")));
  EXPECT_TRUE(fs::is_directory(space_.file("host/folder")));
  EXPECT_TRUE(fs::is_fifo(space_.file("host/fifo")));
  EXPECT_FALSE(fs::exists(space_.file("private")) && !fs::is_empty(space_.file("private")));
}

TEST_F(MisbehavingHostTest, ListedNamesNoFileOfTheFolderCanHaveAreDropped) {
  const auto members = [](std::vector<std::string> names) {
    Directory listing;
    for (auto& name : names) listing.members.push_back({std::move(name), 1, MemberType::file});
    return listing;
  };
  const auto names = [](const auto& future) {
    std::vector<std::string> listed;
    const auto result = awaitResult(future);
    if (result && result->isSuccess()) {
      for (const Member& member : result->successValue()->members) {
        listed.push_back(member.fullName);
      }
    }
    return listed;
  };
  auto remote = port();
  const auto device = remote->getDirectoryInfo("dev/images", nullptr);
  host_->listings.back().answer(
      members({"dev/images/a", "dev/images/b/c", "dev/images/..", "dev/images/.", "dev/images/",
               "dev/other/x", "elsewhere", "dev/images/ok.jpg"}),
      std::nullopt);
  const auto root = remote->getDirectoryInfo("", nullptr);
  host_->listings.back().answer(members({"dev", "..", "", "a/b", "."}), std::nullopt);

  EXPECT_THAT(names(device), ::testing::ElementsAre("dev/images/a", "dev/images/ok.jpg"));
  EXPECT_THAT(names(root), ::testing::ElementsAre("dev"));
  ASSERT_TRUE(flushBackgroundQueue());
  EXPECT_EQ(warnings("ignored 6 member(s) of the listing of dev/images"), 1u);
  EXPECT_EQ(warnings("ignored 4 member(s) of the listing of the root"), 1u);
}

}  // namespace
}  // namespace tessellon
