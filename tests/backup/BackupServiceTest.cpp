#include "backup/BackupService.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "backup/BackupCalendarsMetaDataService.h"
#include "backup/BackupContactsMetaDataService.h"
#include "delegates/LocalFolderDelegate.h"
#include "media/caches/CachingService.h"
#include "model/json/BackupSerializer.h"
#include "model/json/MetadataSerializer.h"
#include "model/json/Serializer.h"
#include "platform/files/FileIOService.h"
#include "platform/zip/ZipService.h"
#include "remote/RemoteIOService.h"
#include "remote/SingleFileTransferStateReporter.h"
#include "sdk/FileStatusManager.h"
#include "sdk/NotificationService.h"
#include "support/AwaitResult.h"
#include "support/BackgroundQueue.h"
#include "support/ErrorMatchers.h"
#include "support/FaultyDelegate.h"
#include "support/FixedDeviceUID.h"
#include "support/RecordingLogger.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using Section = std::shared_ptr<ReportSection>;
using ::testing::Pair;

// A media category whose outcome the test chooses.
class ScriptedMedia final : public BackupImageMetaDataServiceProtocol,
                            public BackupVideoMetaDataServiceProtocol {
 public:
  explicit ScriptedMedia(Future<Section> outcome) : outcome_(std::move(outcome)) {}
  Future<Section> processImageMetaData(std::shared_ptr<Backup>,
                                       std::shared_ptr<CancelToken>) override {
    ++runs;
    return outcome_;
  }
  Future<Section> processVideoMetaData(std::shared_ptr<Backup>,
                                       std::shared_ptr<CancelToken>) override {
    ++runs;
    return outcome_;
  }
  int runs = 0;

 private:
  Future<Section> outcome_;
};

class RecordingCleanup final : public CleanupServiceProtocol {
 public:
  Future<Void> cleanup(const Backup&, std::shared_ptr<CancelToken>) override {
    ++runs;
    return Future<Void>::success(Void{});
  }
  int runs = 0;
};

class BackupServiceTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_TRUE(flushBackgroundQueue()); }

  BaseBackupService::Collaborators collaborators() {
    return BaseBackupService::Collaborators(files_, std::make_shared<ZipService>(), remote_,
                                            std::make_shared<FixedDeviceUID>(), cache_, serializer_,
                                            logger_, statusManager_, space_.file("tmp"));
  }
  static Future<Section> none() { return Future<Section>::success(nullptr); }
  std::unique_ptr<BackupService> service(Future<Section> images = none(),
                                         Future<Section> videos = none()) {
    images_ = std::make_shared<ScriptedMedia>(images);
    videos_ = std::make_shared<ScriptedMedia>(videos);
    return std::make_unique<BackupService>(
        collaborators(), videos_, images_,
        std::make_shared<BackupContactsMetaDataService>(collaborators()),
        std::make_shared<BackupCalendarsMetaDataService>(collaborators()), cleanup_);
  }
  std::shared_ptr<Backup> backupWithTaskList() {
    auto backup = std::make_shared<Backup>("MAC1");
    backup->startDate = Date(std::chrono::milliseconds(1'700'000'000'000));
    backup->taskListToProcess = std::make_shared<Backup>("MAC1");
    return backup;
  }
  std::shared_ptr<Backup> storedBackup() {
    auto text = files_->read(space_.file("remote/MAC1/backup.json")).result();
    if (!text || !text->isSuccess()) return nullptr;
    return deserializeAs<Backup>(*serializer_, *text->value()).value();
  }

  TempDir space_;
  std::shared_ptr<FaultyDelegate> host_ =
      std::make_shared<FaultyDelegate>(std::make_shared<hosts::LocalFolderDelegate>(
          space_.file("remote"), 4096, std::nullopt, space_.file("downloads")));
  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
  std::shared_ptr<FileIOService> files_ = std::make_shared<FileIOService>(space_.file("tmp"));
  std::shared_ptr<FileStatusManager> statusManager_ =
      std::make_shared<FileStatusManager>(std::make_shared<NotificationService>(nullptr));
  std::shared_ptr<RemoteIOService> remote_ = std::make_shared<RemoteIOService>(
      host_, files_, logger_, std::make_shared<SingleFileTransferStateReporter>(statusManager_));
  std::shared_ptr<CachingService> cache_ =
      std::make_shared<CachingService>(space_.file("tmp"), files_);
  std::shared_ptr<Serializer> serializer_ =
      std::make_shared<Serializer>(std::make_shared<BackupSerializer>([] { return "MAC1"; }),
                                   std::make_shared<MetadataSerializer>());
  std::shared_ptr<RecordingCleanup> cleanup_ = std::make_shared<RecordingCleanup>();
  std::shared_ptr<ScriptedMedia> images_, videos_;
  std::shared_ptr<CancelToken> token_ = std::make_shared<CancelToken>();
};

TEST_F(BackupServiceTest, AnEmptyTaskListStillLeavesAConsistentFinishedBackup) {
  auto run = service();
  auto backup = backupWithTaskList();
  auto report = awaitResult(run->process(backup, token_));
  ASSERT_THAT(report, SucceedsWith(::testing::NotNull()));
  EXPECT_EQ(*report->value().value(), ProcessReport());
  EXPECT_TRUE(fs::is_directory(space_.file("remote/MAC1/images")));
  EXPECT_TRUE(fs::is_directory(space_.file("remote/MAC1/videos")));
  // Contacts, calendars and the finish each sent an archive holding only the record.
  EXPECT_EQ(host_->calls("uploadFile"), 3);
  auto stored = storedBackup();
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->finishDate, backup->finishDate);
  EXPECT_TRUE(backup->finishDate.has_value());
  EXPECT_EQ(cleanup_->runs, 1);
  EXPECT_FALSE(fs::exists(space_.file("tmp/backup.json")));
  EXPECT_THAT(logger_->lines().back(), Pair(LogLevel::info, "Backup process finished"));

  // A second run finds every folder in place.
  auto again = awaitResult(run->process(backupWithTaskList(), token_));
  EXPECT_THAT(again, SucceedsWith(::testing::NotNull()));
}

TEST_F(BackupServiceTest, ProgressStartsWithWhatTheBackupAlreadyHolds) {
  auto run = service();
  auto backup = backupWithTaskList();
  // Only the counts are set, not the bytes: progress must add up the items' sizes.
  const auto image = [](const std::string& id, int64_t bytes, std::optional<std::string> print) {
    return std::make_shared<MediaItem>("jpg", bytes, id, Date{}, print, std::vector{id});
  };
  auto& stored = backup->imagesMetaData = std::make_shared<MediaMetaData>();
  for (const std::string i : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}) {
    stored->items->push_back(image("p" + i, 100, "f" + i));
  }
  stored->count = 10;
  auto& newImages = backup->taskListToProcess->imagesMetaData = std::make_shared<MediaMetaData>();
  newImages->items = MediaMetaData::Items{image("n1", 50, std::nullopt), image("n2", 50, {})};
  newImages->count = 2;
  backup->taskListToProcess->contactsMetaData =
      std::make_shared<ItemsMetaData<Contact>>(ItemsMetaData<Contact>::Items{}, 3, 300);

  // Hold the run at the first folder request to read the initial progress.
  host_->setDelivery(FaultyDelegate::Delivery::late);
  auto running = run->process(backup, token_);
  ASSERT_TRUE(host_->waitForHeld(1));
  const FileStatus initial = statusManager_->fileStatus();
  EXPECT_EQ(initial.processed, 10);
  EXPECT_EQ(initial.processedBytes, 1000);
  EXPECT_EQ(initial.overall, 13);
  EXPECT_EQ(initial.overallBytes, 1400);
  host_->setDelivery(FaultyDelegate::Delivery::asIs);
  host_->deliverHeld();
  auto report = awaitResult(running);
  ASSERT_THAT(report, SucceedsWith(::testing::NotNull()));
  // The contacts document landed: one file and its bytes more.
  EXPECT_EQ(statusManager_->fileStatus().processed, 11);
  const auto contacts = report->value().value()->contacts;
  ASSERT_NE(contacts, nullptr);
  EXPECT_EQ(*contacts, ReportSection(3, 0, 300, 0));
  ASSERT_NE(storedBackup(), nullptr);
  EXPECT_EQ(storedBackup()->contactsMetaData->count, 3);
}

TEST_F(BackupServiceTest, AFailedDocumentUploadIsCountedAndTheRecordKeepsItsMetadata) {
  auto run = service();
  auto backup = backupWithTaskList();
  auto before = std::make_shared<ItemsMetaData<Contact>>(ItemsMetaData<Contact>::Items{}, 1, 10);
  backup->contactsMetaData = before;
  backup->taskListToProcess->contactsMetaData =
      std::make_shared<ItemsMetaData<Contact>>(ItemsMetaData<Contact>::Items{}, 3, 900);
  host_->failUpload(1, makeError(BackupSDKError::unknownError, "network down"));
  auto report = awaitResult(run->process(backup, token_));
  ASSERT_THAT(report, SucceedsWith(::testing::NotNull()));
  EXPECT_EQ(*report->value().value()->contacts, ReportSection(0, 3, 0, 900));
  EXPECT_EQ(backup->contactsMetaData, before);
  EXPECT_EQ(logger_->count(LogLevel::info, "uploading Contacts finished"), 0u);
  EXPECT_EQ(images_->runs, 1);  // the run went on
}

TEST_F(BackupServiceTest, ACategoryThatFailsStopsTheRunAndAFullRemoteCancelsIt) {
  auto failing = service(
      Future<Section>::fail(makeError(BackupSDKError::zipFailedNotEnoughDiskSpace, "full")));
  auto report = awaitResult(failing->process(backupWithTaskList(), token_));
  EXPECT_THAT(report, FailsWith(BackupSDKError::zipFailedNotEnoughDiskSpace));
  EXPECT_EQ(videos_->runs, 0);
  EXPECT_EQ(cleanup_->runs, 0);
  EXPECT_FALSE(fs::exists(space_.file("tmp/MAC1.zip")));
  EXPECT_EQ(logger_->count(LogLevel::error, "Backup process failed ERROR=BackupSDKError 602"), 1u);

  auto full = service();
  host_->failUpload(1, Error{"LocalFolderDelegate", 507, "no space left on the remote"});
  auto ended = awaitResult(full->process(backupWithTaskList(), token_));
  EXPECT_TRUE(token_->isCanceled());
  EXPECT_THAT(ended, FailsWith(BackupSDKError::mediaNotEnoughRemoteStorage));
  EXPECT_EQ(images_->runs, 0);
  EXPECT_EQ(host_->calls("deleteFile"), 1);  // the archive the remote could not take
}

TEST_F(BackupServiceTest, AFolderThatCannotBeCreatedFailsBeforeAnyCategory) {
  auto run = service();
  host_->answerCreateDirectoryWith(false, makeError(BackupSDKError::unknownError, "read-only"));
  EXPECT_THAT(awaitResult(run->process(backupWithTaskList(), token_)),
              FailsWith(BackupSDKError::unknownError));
  EXPECT_EQ(host_->calls("uploadFile"), 0);
}

}  // namespace
}  // namespace tessellon
