#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "tessellon/BackupSDK.h"

#include "delegates/LocalFolderDelegate.h"
#include "support/BackgroundQueue.h"
#include "support/FaultyDelegate.h"
#include "support/GeneratedHome.h"
#include "support/MediaTree.h"
#include "support/TempDir.h"

namespace tessellon {

// The host's view of one finished operation: the value, the error, or neither (cancelled).
template <class T>
struct Finished {
  std::shared_ptr<T> value;
  std::optional<Error> error;
  bool cancelled() const { return !value && !error; }
};

// Starts an operation of the facade with a completion, runs `then`, and waits for the answer;
// an error when none comes in a minute.
template <class T, class Start>
Finished<T> awaitFinished(Start start, const std::function<void()>& then = nullptr) {
  auto done = std::make_shared<std::promise<Finished<T>>>();
  auto future = done->get_future();
  start([done](std::shared_ptr<T> value, std::optional<Error> error) {
    done->set_value({std::move(value), std::move(error)});
  });
  if (then) then();
  if (future.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    return {nullptr, Error{"test", -1, "the operation did not complete"}};
  }
  return future.get();
}

// The only backup the facade lists; null (and a test failure) unless there is exactly one.
inline std::shared_ptr<Backup> onlyBackupOf(BackupSDK& sdk) {
  auto listed = std::make_shared<std::promise<std::vector<std::shared_ptr<Backup>>>>();
  auto future = listed->get_future();
  sdk.getAvailableBackups([listed](auto backups, auto) {
    listed->set_value(backups.value_or(std::vector<std::shared_ptr<Backup>>{}));
  });
  if (future.wait_for(std::chrono::seconds(60)) != std::future_status::ready) return nullptr;
  const auto backups = future.get();
  EXPECT_EQ(backups.size(), 1u);
  return backups.size() == 1 ? backups.front() : nullptr;
}

// A home and a folder remote (behind a FaultyDelegate; downloads go to home/downloads) with the
// facade over them, and synchronous forms of its operations. `then` runs right after an
// operation started, to cancel it or to try another beside it.
class FacadeHomeTest : public ::testing::Test {
 protected:
  ~FacadeHomeTest() override {
    sdk_.reset();
    EXPECT_TRUE(flushBackgroundQueue());
  }

  BackupSDK& sdk() {
    if (!sdk_) sdk_ = std::make_unique<BackupSDK>(host_, nullptr, homeOptions(home_));
    return *sdk_;
  }

  Finished<ProcessReport> backup(const BackupSettings& settings,
                                 const std::function<void()>& then = nullptr) {
    return awaitFinished<ProcessReport>(
        [&](auto done) { sdk().startBackup(settings, nullptr, done); }, then);
  }
  Finished<ProcessReport> backup(std::shared_ptr<Backup> record) {
    return awaitFinished<ProcessReport>(
        [&](auto done) { sdk().startBackup(record, nullptr, done); });
  }
  Finished<ProcessReport> restore(std::shared_ptr<Backup> record, const Settings& settings,
                                  const std::function<void()>& then = nullptr) {
    return awaitFinished<ProcessReport>(
        [&](auto done) { sdk().startRestore(record, settings, nullptr, done); }, then);
  }
  Finished<Backup> preview(const BackupSettings& settings) {
    return awaitFinished<Backup>([&](auto done) { sdk().startPreview(settings, nullptr, done); });
  }
  Finished<VerifyReport> verify(std::shared_ptr<Backup> record, bool readData,
                                const std::function<void()>& then = nullptr) {
    return awaitFinished<VerifyReport>([&](auto done) { sdk().verify(record, readData, done); },
                                       then);
  }
  std::shared_ptr<Backup> onlyBackup() { return onlyBackupOf(sdk()); }

  TempDir home_;
  TempDir remote_;
  MediaTree tree_{home_.path(), {}};
  std::shared_ptr<FaultyDelegate> host_ =
      std::make_shared<FaultyDelegate>(std::make_shared<hosts::LocalFolderDelegate>(
          remote_.path(), 1 << 20, std::nullopt, home_.file("downloads")));

 private:
  std::unique_ptr<BackupSDK> sdk_;
};

}  // namespace tessellon
