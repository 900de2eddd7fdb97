#include "tessellon/BackupSDK.h"

#include <atomic>
#include <barrier>
#include <filesystem>
#include <thread>
#include <tuple>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "backup/BackupInformationCollectorProtocol.h"
#include "backup/BackupPreviewServiceProtocol.h"
#include "backup/BackupServiceProtocol.h"
#include "core/Async.h"
#include "core/IoC.h"
#include "core/NotificationService.h"
#include "delegates/LocalFolderDelegate.h"
#include "futures/CurrentExecutor.h"
#include "model/HostBackup.h"
#include "restore/RestoreServiceProtocol.h"
#include "sdk/AccessServiceProtocol.h"
#include "sdk/BackupSDKState.h"
#include "sdk/IoCSetup.h"
#include "support/AwaitResult.h"
#include "support/BackgroundQueue.h"
#include "support/ErrorMatchers.h"
#include "support/TempDir.h"

namespace tessellon::testing {
namespace {

using Report = std::shared_ptr<ProcessReport>;
using Records = std::vector<std::shared_ptr<BackupRecord>>;

// A backup as a host gets it, of a record of the current format.
std::shared_ptr<Backup> hosted(const std::string& deviceID) {
  return hostBackup(std::make_shared<BackupRecord>(deviceID));
}

// A started operation that stays pending until the test completes it from a thread of its own, or,
// when `completeOnCancel`, until its token is cancelled.
template <class T>
struct PendingAnswer {
  bool completeOnCancel = true;
  std::atomic<int> started{0};
  Promise<Promise<T>> first;  // the first started operation

  Future<T> start(const std::shared_ptr<CancelToken>& token) {
    Promise<T> promise;
    ++started;
    first.completeWithSuccess(promise);
    if (completeOnCancel) {
      (void)token->onCancel(
          [promise] { Async::background([promise] { promise.completeWithCancel(); }); });
    }
    return promise.future;
  }
  bool waitStarted() const { return awaitResult(first.future).has_value(); }
  void complete(FutureResult<T> result) {
    ASSERT_TRUE(waitStarted()) << "nothing was started";
    std::thread([promise = *first.future.value(), result] { promise.complete(result); }).join();
  }
};

// Every service the facade calls, answering as the test says.
class FakeServices final : public AccessServiceProtocol,
                           public BackupPreviewServiceProtocol,
                           public BackupServiceProtocol,
                           public RestoreServiceProtocol,
                           public RestoreHelperProtocol,
                           public BackupInformationCollectorProtocol,
                           public std::enable_shared_from_this<FakeServices> {
 public:
  std::optional<Error> denial, previewFailure;
  PendingAnswer<Report> backup, restore;
  PendingAnswer<Records> listing;

  Future<Void> checkAccess(const Settings&, AccessPurpose, std::shared_ptr<CancelToken>) override {
    return denial ? Future<Void>::fail(*denial) : Future<Void>::success(Void{});
  }
  Future<std::shared_ptr<BackupRecord>> generateBackup(const BackupSettings&,
                                                       std::shared_ptr<CancelToken>) override {
    if (previewFailure) return Future<std::shared_ptr<BackupRecord>>::fail(*previewFailure);
    return Future<std::shared_ptr<BackupRecord>>::success(std::make_shared<BackupRecord>("device"));
  }
  Future<Void> checkStoredUnchanged(const BackupRecord&, std::shared_ptr<CancelToken>) override {
    return Future<Void>::success(Void{});
  }
  Future<Void> inflateLeftOverArchive(std::shared_ptr<CancelToken>) override {
    return Future<Void>::success(Void{});
  }
  Future<Report> process(std::shared_ptr<BackupRecord>,
                         std::shared_ptr<CancelToken> token) override {
    return backup.start(token);
  }
  Future<Report> restoreBackup(std::shared_ptr<BackupRecord>, const Settings&,
                               std::shared_ptr<CancelToken> token) override {
    return restore.start(token);
  }
  Future<Records> getAllBackups(std::shared_ptr<CancelToken> token) override {
    return listing.start(token);
  }
  std::shared_ptr<BackupInformationCollectorProtocol> backupInformationCollector() const override {
    return std::const_pointer_cast<FakeServices>(shared_from_this());
  }
  std::shared_ptr<RestoreHelperProtocol> restoreHelper() const override {
    return std::const_pointer_cast<FakeServices>(shared_from_this());
  }
};

enum class Thread { main, backgroundQueue, other };

// Records the first call of a host completion, its thread, and how many calls there were.
template <class... Args>
struct Probe {
  using Call = std::pair<std::tuple<std::decay_t<Args>...>, Thread>;
  std::atomic<int> calls{0};
  Promise<Call> first;

  std::function<void(Args...)> callback() {
    return [this](Args... args) {
      ++calls;
      first.completeWithSuccess(Call{{std::move(args)...},
                                     CurrentExecutor::isMainThread() ? Thread::main
                                     : Async::backgroundQueue()->isCurrent()
                                         ? Thread::backgroundQueue
                                         : Thread::other});
    };
  }
  bool wait() const { return awaitResult(first.future).has_value(); }
  // Throws, failing the test, when there was no call.
  template <size_t I>
  auto arg() const {
    return std::get<I>(first.future.value().value().first);
  }
  Thread thread() const { return first.future.value().value().second; }
};

using BackupProbe = Probe<std::shared_ptr<Backup>, std::optional<Error>>;
using ReportProbe = Probe<Report, std::optional<Error>>;
using ListProbe = Probe<std::optional<std::vector<std::shared_ptr<Backup>>>, std::optional<Error>>;

// A facade over fake services, installed by the container's own overrides.
class BackupSDKTest : public ::testing::Test {
 protected:
  void SetUp() override {
    IoCSetup::setOverrides([this] {
      (void)IoC::registerSingleton<AccessServiceProtocol>(fakes_);
      (void)IoC::registerSingleton<BackupPreviewServiceProtocol>(fakes_);
      (void)IoC::registerSingleton<BackupServiceProtocol>(fakes_);
      (void)IoC::registerSingleton<RestoreServiceProtocol>(fakes_);
    });
    BackupSDKOptions options;
    options.temporaryDirectory = remote_.file("tmp");
    options.stateDirectory = remote_.file("state");
    options.picturesDirectory = remote_.file("home/Pictures");
    options.moviesDirectory = remote_.file("home/Movies");
    sdk_ = std::make_unique<BackupSDK>(
        std::make_shared<hosts::LocalFolderDelegate>(remote_.file("remote")), nullptr, options);
  }

  void TearDown() override {
    // Cancel completions arrive on the background queue; none may outlive the test.
    ASSERT_TRUE(flushBackgroundQueue());
    IoCSetup::setOverrides(nullptr);
    // Every test must leave the process-wide slots idle for the next one.
    EXPECT_FALSE(BackupSDKState::isRunning());
    EXPECT_FALSE(BackupSDKState::isCanceling());
    EXPECT_FALSE(BackupSDKState::cancelTokenForGetAllAvailableBackups());
  }

  static BackupSettings allCategories() {
    return BackupSettings("b", true, true, true, true, false);
  }
  static Settings allRestored() { return Settings(true, true, true, true); }
  static Report report() {
    auto r = std::make_shared<ProcessReport>();
    r->images = std::make_shared<ReportSection>(2, 1, 200, 100);
    return r;
  }

  TempDir remote_;
  std::shared_ptr<FakeServices> fakes_ = std::make_shared<FakeServices>();
  std::unique_ptr<BackupSDK> sdk_;
};

TEST_F(BackupSDKTest, RacingStartsLetExactlyOneRunAndLaterStartsAreRefusedAtOnce) {
  ReportProbe a, b;
  std::barrier sync(2);
  auto start = [&](ReportProbe& probe) {
    return std::thread([&] {
      sync.arrive_and_wait();
      sdk_->startBackup(hosted("device"), nullptr, probe.callback());
    });
  };
  std::thread first = start(a), second = start(b);
  first.join();
  second.join();
  ASSERT_TRUE(fakes_->backup.waitStarted());
  ASSERT_EQ(a.calls.load() + b.calls.load(), 1);
  ReportProbe& refused = a.calls.load() == 1 ? a : b;
  ReportProbe& running = a.calls.load() == 1 ? b : a;
  EXPECT_THAT(refused.arg<1>(), HasCode(BackupSDKError::isAlreadyRunning));

  // Refusals arrive synchronously, on the caller's thread.
  BackupProbe preview;
  sdk_->startPreview(allCategories(), nullptr, preview.callback());
  ASSERT_EQ(preview.calls.load(), 1);
  EXPECT_THAT(preview.arg<1>(), HasCode(BackupSDKError::isAlreadyRunning));
  EXPECT_EQ(preview.thread(), Thread::main);

  fakes_->backup.complete(FutureResult<Report>::success(report()));
  ASSERT_TRUE(running.wait());
  EXPECT_TRUE(running.arg<0>());
  EXPECT_EQ(fakes_->backup.started.load(), 1);
}

TEST_F(BackupSDKTest, PreviewResetsItsProgress) {
  BackupProbe previewed;
  sdk_->startPreview(
      allCategories(), [](int) {}, previewed.callback());
  ASSERT_TRUE(previewed.wait());
  EXPECT_TRUE(previewed.arg<0>());
  // The finish reset the closure: a late report reaches nobody.
  EXPECT_FALSE(IoC::resolve<NotificationService>().value()->backupPreviewProgress());
}

TEST_F(BackupSDKTest, ErrorsReachTheHostInItsForm) {
  // An internal error of another kind arrives as code 0 of the library's domain.
  fakes_->previewFailure = Error{"JsonError", 1, "missing key startDate"};
  BackupProbe failed;
  sdk_->startPreview(allCategories(), nullptr, failed.callback());
  ASSERT_TRUE(failed.wait());
  EXPECT_THAT(failed.arg<1>(), HasCode(BackupSDKError::unknownError));

  // A denied category fails with its own code, before any progress closure is installed, and
  // before a missing media folder is made.
  fakes_->denial = makeError(BackupSDKError::calendarsAccessDenied);
  ReportProbe denied;
  sdk_->startRestore(
      hosted("device"), Settings(false, true, false, true), [](const FileStatus&) {},
      denied.callback());
  ASSERT_TRUE(denied.wait());
  EXPECT_THAT(denied.arg<1>(), HasCode(BackupSDKError::calendarsAccessDenied));
  EXPECT_FALSE(IoC::resolve<NotificationService>().value()->restoreProgress());
  EXPECT_FALSE(std::filesystem::exists(remote_.file("home/Pictures")));
}

TEST_F(BackupSDKTest, RestoreChecksTheFormatVersionBeforeStarting) {
  auto newer = std::make_shared<BackupRecord>("device");
  newer->version = std::make_shared<Version>(2, 0);
  ReportProbe refused;
  sdk_->startRestore(hostBackup(newer), allRestored(), nullptr, refused.callback());
  ASSERT_EQ(refused.calls.load(), 1);
  EXPECT_THAT(refused.arg<1>(), HasCode(BackupSDKError::versionConflict));
  EXPECT_EQ(fakes_->restore.started.load(), 0);

  // A backup a host made itself carries no record of ours: nothing runs it.
  ReportProbe unrestorable, unrunnable;
  sdk_->startRestore(std::make_shared<Backup>(), allRestored(), nullptr, unrestorable.callback());
  sdk_->startBackup(std::make_shared<Backup>(), nullptr, unrunnable.callback());
  for (ReportProbe* probe : {&unrestorable, &unrunnable}) {
    ASSERT_EQ(probe->calls.load(), 1);
    EXPECT_THAT(probe->arg<1>(), HasCode(BackupSDKError::versionConflict));
  }
  EXPECT_EQ(fakes_->restore.started.load() + fakes_->backup.started.load(), 0);

  // Same major, newer minor: restorable.
  auto sameMajor = std::make_shared<BackupRecord>("device");
  sameMajor->version = std::make_shared<Version>(1, 9);
  ReportProbe restored;
  sdk_->startRestore(hostBackup(sameMajor), allRestored(), nullptr, restored.callback());
  ASSERT_TRUE(fakes_->restore.waitStarted());
  // Granted: the fresh home's media folders are there before anything is restored.
  EXPECT_TRUE(std::filesystem::is_directory(remote_.file("home/Pictures")));
  EXPECT_TRUE(std::filesystem::is_directory(remote_.file("home/Movies")));
  fakes_->restore.complete(FutureResult<Report>::success(report()));
  ASSERT_TRUE(restored.wait());
  EXPECT_TRUE(restored.arg<0>());
}

TEST_F(BackupSDKTest, CancelEndsTheRunningOperationEmptyAndTheNextOneStarts) {
  // With nothing running, the cancel just completes, once, on the background queue.
  Probe<> idle;
  sdk_->cancel(idle.callback());
  ASSERT_TRUE(idle.wait());
  ASSERT_TRUE(flushBackgroundQueue());
  EXPECT_EQ(idle.calls.load(), 1);
  EXPECT_EQ(idle.thread(), Thread::backgroundQueue);

  const struct {
    const char* name;
    std::function<void(ReportProbe&)> start;
    PendingAnswer<Report>& answer;
  } rows[] = {
      {"backup", [&](ReportProbe& p) { sdk_->startBackup(allCategories(), nullptr, p.callback()); },
       fakes_->backup},
      {"restore",
       [&](ReportProbe& p) {
         sdk_->startRestore(hosted("device"), allRestored(), nullptr, p.callback());
       },
       fakes_->restore},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ReportProbe operation;
    row.start(operation);
    ASSERT_TRUE(row.answer.waitStarted());
    Probe<> cancelled;
    sdk_->cancel(cancelled.callback());
    ASSERT_TRUE(cancelled.wait());
    ASSERT_TRUE(operation.wait());
    EXPECT_FALSE(operation.arg<0>());
    EXPECT_FALSE(operation.arg<1>());
    ASSERT_TRUE(flushBackgroundQueue());
    EXPECT_EQ(cancelled.calls.load(), 1);
    EXPECT_EQ(cancelled.thread(), Thread::backgroundQueue);

    BackupProbe next;
    sdk_->startPreview(allCategories(), nullptr, next.callback());
    ASSERT_TRUE(next.wait());
    EXPECT_TRUE(next.arg<0>());
  }
}

TEST_F(BackupSDKTest, StartsDuringACancelRequestAreRefusedWithIsCanceling) {
  // A service that ignores its token keeps the request open until it answers.
  fakes_->backup.completeOnCancel = false;
  ReportProbe backup;
  sdk_->startBackup(hosted("device"), nullptr, backup.callback());
  ASSERT_TRUE(fakes_->backup.waitStarted());
  Probe<> cancelled;
  sdk_->cancel(cancelled.callback());
  ASSERT_TRUE(cancelled.wait());

  BackupProbe preview;
  ReportProbe restore;
  sdk_->startPreview(allCategories(), nullptr, preview.callback());
  sdk_->startRestore(hosted("device"), allRestored(), nullptr, restore.callback());
  EXPECT_THAT(preview.arg<1>(), HasCode(BackupSDKError::isCanceling));
  EXPECT_THAT(restore.arg<1>(), HasCode(BackupSDKError::isCanceling));

  fakes_->backup.complete(FutureResult<Report>::cancelled());
  ASSERT_TRUE(backup.wait());
  EXPECT_FALSE(BackupSDKState::isCanceling());
}

TEST_F(BackupSDKTest, ListingRunsBesideABackupAndLeavesItsSlotAlone) {
  ReportProbe backup;
  sdk_->startBackup(hosted("device"), nullptr, backup.callback());
  ASSERT_TRUE(fakes_->backup.waitStarted());

  ListProbe list;
  sdk_->getAvailableBackups(list.callback());
  ASSERT_TRUE(fakes_->listing.waitStarted());
  fakes_->listing.complete(FutureResult<Records>::success(
      {std::make_shared<BackupRecord>("a"), std::make_shared<BackupRecord>("b")}));
  ASSERT_TRUE(list.wait());
  ASSERT_TRUE(list.arg<0>());
  EXPECT_EQ(list.arg<0>()->size(), 2u);
  EXPECT_TRUE(BackupSDKState::isRunning());

  fakes_->backup.complete(FutureResult<Report>::success(report()));
  ASSERT_TRUE(backup.wait());
}

TEST_F(BackupSDKTest, CancelledListingCompletesWithAnEmptyList) {
  fakes_->listing.completeOnCancel = false;
  ListProbe list;
  sdk_->getAvailableBackups(list.callback());
  ASSERT_TRUE(fakes_->listing.waitStarted());
  Probe<> cancelled;
  sdk_->cancel(cancelled.callback());
  ASSERT_TRUE(cancelled.wait());

  // While the listing is being cancelled, a new one is refused.
  ListProbe second;
  sdk_->getAvailableBackups(second.callback());
  EXPECT_THAT(second.arg<1>(), HasCode(BackupSDKError::isCanceling));

  fakes_->listing.complete(FutureResult<Records>::cancelled());
  ASSERT_TRUE(list.wait());
  ASSERT_TRUE(list.arg<0>());
  EXPECT_TRUE(list.arg<0>()->empty());
  EXPECT_FALSE(list.arg<1>());
}

}  // namespace
}  // namespace tessellon::testing
