#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>

#include "backup/BackupInformationCollectorProtocol.h"
#include "delegates/LocalFolderDelegate.h"
#include "backup/BackupPreviewServiceProtocol.h"
#include "backup/BackupServiceProtocol.h"
#include "futures/CurrentExecutor.h"
#include "restore/RestoreServiceProtocol.h"
#include "sdk/AccessServiceProtocol.h"
#include "sdk/Async.h"
#include "sdk/BackupSDKState.h"
#include "sdk/IoC.h"
#include "sdk/IoCSetup.h"
#include "sdk/NotificationServiceProtocol.h"
#include "support/RecordingLogger.h"
#include "support/TempDir.h"
#include "tessellon/BackupSDK.h"

namespace tessellon::testing {

using namespace std::chrono_literals;

// A service answer the test controls: started operations stay pending until
// the test completes them (from a thread of its own, as a host would), or,
// when `completeOnCancel`, until their token is cancelled.
template <class T>
class PendingAnswer {
 public:
  bool completeOnCancel = true;

  Future<T> start(const std::shared_ptr<CancelToken>& token) {
    Promise<T> promise;
    {
      std::lock_guard lock(mutex_);
      pending_ = promise;
      ++started_;
    }
    changed_.notify_all();
    if (completeOnCancel) {
      (void)token->onCancel([promise] { Async::background([promise] { promise.completeWithCancel(); }); });
    }
    return promise.future;
  }

  bool waitStarted(int count = 1) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 10s, [&] { return started_ >= count; });
  }

  // Completes the latest operation from a foreign thread.
  void complete(FutureResult<T> result) {
    std::optional<Promise<T>> promise;
    {
      std::lock_guard lock(mutex_);
      promise = pending_;
    }
    ASSERT_TRUE(promise) << "nothing was started";
    std::thread([promise, result] { promise->complete(result); }).join();
  }

  int started() const {
    std::lock_guard lock(mutex_);
    return started_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<Promise<T>> pending_;
  int started_ = 0;
};

class FakeAccessService final : public AccessServiceProtocol {
 public:
  std::optional<Error> denial;
  Future<Void> checkAccess(const Settings&, std::shared_ptr<CancelToken>) override {
    return denial ? Future<Void>::fail(*denial) : Future<Void>::success(Void{});
  }
};

class FakePreviewService final : public BackupPreviewServiceProtocol {
 public:
  // When set, previews fail with it at once; otherwise they return a record.
  std::optional<Error> failure;
  Future<std::shared_ptr<Backup>> generateBackup(const BackupSettings&,
                                                 std::shared_ptr<CancelToken>) override {
    if (failure) return Future<std::shared_ptr<Backup>>::fail(*failure);
    return Future<std::shared_ptr<Backup>>::success(std::make_shared<Backup>("device"));
  }
};

class FakeBackupService final : public BackupServiceProtocol {
 public:
  PendingAnswer<std::shared_ptr<ProcessReport>> answer;
  Future<std::shared_ptr<ProcessReport>> process(std::shared_ptr<Backup>,
                                                 std::shared_ptr<CancelToken> token) override {
    return answer.start(token);
  }
};

class FakeRestoreHelper final : public RestoreHelperProtocol {
 public:
  PendingAnswer<std::shared_ptr<ProcessReport>> answer;
  Future<std::shared_ptr<ProcessReport>> restoreBackup(std::shared_ptr<Backup>, const Settings&,
                                                       std::shared_ptr<CancelToken> token) override {
    return answer.start(token);
  }
};

class FakeCollector final : public BackupInformationCollectorProtocol {
 public:
  PendingAnswer<std::vector<std::shared_ptr<Backup>>> answer;
  Future<std::vector<std::shared_ptr<Backup>>> getAllBackups(
      std::shared_ptr<CancelToken> token) override {
    return answer.start(token);
  }
};

class FakeRestoreService final : public RestoreServiceProtocol {
 public:
  std::shared_ptr<FakeCollector> collector = std::make_shared<FakeCollector>();
  std::shared_ptr<FakeRestoreHelper> helper = std::make_shared<FakeRestoreHelper>();
  std::shared_ptr<BackupInformationCollectorProtocol> backupInformationCollector() const override {
    return collector;
  }
  std::shared_ptr<RestoreHelperProtocol> restoreHelper() const override { return helper; }
};

// Records the calls of a host completion: how many, the last arguments, and
// whether they came on the calling thread.
template <class... Args>
class Probe {
 public:
  std::function<void(Args...)> callback() {
    return [this](Args... args) {
      std::lock_guard lock(mutex_);
      last_.emplace(std::move(args)...);
      ++calls_;
      onMainThread_ = CurrentExecutor::isMainThread();
      done_.notify_all();
    };
  }
  bool wait(int calls = 1) {
    std::unique_lock lock(mutex_);
    return done_.wait_for(lock, 10s, [&] { return calls_ >= calls; });
  }
  int calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  template <size_t I>
  auto arg() const {
    std::lock_guard lock(mutex_);
    return std::get<I>(*last_);
  }
  bool onMainThread() const {
    std::lock_guard lock(mutex_);
    return onMainThread_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable done_;
  std::optional<std::tuple<std::decay_t<Args>...>> last_;
  int calls_ = 0;
  bool onMainThread_ = false;
};

using BackupProbe = Probe<std::shared_ptr<Backup>, std::optional<Error>>;
using ReportProbe = Probe<std::shared_ptr<ProcessReport>, std::optional<Error>>;
using ListProbe =
    Probe<std::optional<std::vector<std::shared_ptr<Backup>>>, std::optional<Error>>;

// A facade over fake services, installed through the container's own
// registration calls at the end of its setup.
class FacadeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    IoCSetup::setOverrides([this] {
      (void)IoC::registerSingleton<AccessServiceProtocol>(access_);
      (void)IoC::registerSingleton<BackupPreviewServiceProtocol>(preview_);
      (void)IoC::registerSingleton<BackupServiceProtocol>(backup_);
      (void)IoC::registerSingleton<RestoreServiceProtocol>(restore_);
    });
    BackupSDKOptions options;
    options.temporaryDirectory = remote_.file("tmp");
    options.stateDirectory = remote_.file("state");
    sdk_ = std::make_unique<BackupSDK>(
        std::make_shared<hosts::LocalFolderDelegate>(remote_.file("remote")), logger_, options);
  }

  void TearDown() override {
    IoCSetup::setOverrides(nullptr);
    // Every test must leave the process-wide slots idle for the next one.
    EXPECT_FALSE(BackupSDKState::isRunning());
    EXPECT_FALSE(BackupSDKState::isCanceling());
    EXPECT_FALSE(BackupSDKState::cancelTokenForGetAllAvailableBackups());
  }

  static BackupSettings allCategories() { return BackupSettings("b", true, true, true, true, false); }
  static std::shared_ptr<ProcessReport> report() {
    auto r = std::make_shared<ProcessReport>();
    r->images = std::make_shared<ReportSection>(2, 1, 200, 100);
    return r;
  }

  TempDir remote_;
  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
  std::shared_ptr<FakeAccessService> access_ = std::make_shared<FakeAccessService>();
  std::shared_ptr<FakePreviewService> preview_ = std::make_shared<FakePreviewService>();
  std::shared_ptr<FakeBackupService> backup_ = std::make_shared<FakeBackupService>();
  std::shared_ptr<FakeRestoreService> restore_ = std::make_shared<FakeRestoreService>();
  std::unique_ptr<BackupSDK> sdk_;
};

}  // namespace tessellon::testing
