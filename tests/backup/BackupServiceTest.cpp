#include "backup/BackupService.h"

#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "backup/DocumentBackup.h"
#include "platform/files/FileIOService.h"
#include "platform/zip/ZipService.h"
#include "support/AwaitResult.h"
#include "support/BackgroundQueue.h"
#include "support/ErrorMatchers.h"
#include "support/FixedDeviceUID.h"
#include "support/LocalRemote.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using Section = std::shared_ptr<ReportSection>;

// A media category whose outcome the test chooses.
class ScriptedMedia final : public CategoryBackup {
 public:
  ScriptedMedia(std::string title, Future<Section> outcome)
      : title_(std::move(title)), outcome_(std::move(outcome)) {}
  const std::string& title() const override { return title_; }
  Section ProcessReport::*reportSlot() const override {
    return title_ == "Images" ? &ProcessReport::images : &ProcessReport::videos;
  }
  Future<Section> run(std::shared_ptr<BackupRecord>, std::shared_ptr<CancelToken>) override {
    ++runs;
    return outcome_;
  }
  int runs = 0;

 private:
  std::string title_;
  Future<Section> outcome_;
};

class RecordingCleanup final : public CleanupServiceProtocol {
 public:
  Future<Void> cleanup(const BackupRecord&, std::shared_ptr<CancelToken>) override {
    ++runs;
    return Future<Void>::success(Void{});
  }
  int runs = 0;
};

class BackupServiceTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_TRUE(flushBackgroundQueue()); }

  std::shared_ptr<ArchiveUploader> archives() {
    return std::make_shared<ArchiveUploader>(ArchiveUploader::Collaborators{
        files_, std::make_shared<ZipService>(), remote_, std::make_shared<FixedDeviceUID>(),
        serializerFor(), nullptr, space_.file("tmp")});
  }
  static Future<Section> none() { return Future<Section>::success(nullptr); }
  std::unique_ptr<BackupService> service(Future<Section> images = none(),
                                         Future<Section> videos = none()) {
    images_ = std::make_shared<ScriptedMedia>("Images", images);
    videos_ = std::make_shared<ScriptedMedia>("Videos", videos);
    auto uploader = archives();
    std::vector<std::shared_ptr<CategoryBackup>> categories{
        std::make_shared<DocumentBackup<Contact>>(
            uploader, statusManager_, nullptr,
            DocumentBackup<Contact>::Category{&BackupRecord::contactsMetaData,
                                              &ProcessReport::contacts, "contacts.json",
                                              "Contacts"}),
        images_, videos_};
    return std::make_unique<BackupService>(uploader, remote_, statusManager_, nullptr,
                                           std::move(categories), cleanup_);
  }
  std::shared_ptr<BackupRecord> backupWithTaskList() {
    auto backup = std::make_shared<BackupRecord>("MAC1");
    backup->startDate = Date(std::chrono::milliseconds(1'700'000'000'000));
    backup->taskListToProcess = std::make_shared<BackupRecord>("MAC1");
    return backup;
  }

  TempDir space_;
  std::shared_ptr<FaultyDelegate> host_ = folderHost(space_);
  std::shared_ptr<FileIOService> files_ = std::make_shared<FileIOService>(space_.file("tmp"));
  std::shared_ptr<FileStatusManager> statusManager_ = statusManager();
  std::shared_ptr<RemoteIOService> remote_ = remoteOver(host_, files_, nullptr, statusManager_);
  std::shared_ptr<RecordingCleanup> cleanup_ = std::make_shared<RecordingCleanup>();
  std::shared_ptr<ScriptedMedia> images_, videos_;
  std::shared_ptr<CancelToken> token_ = std::make_shared<CancelToken>();
};

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
  EXPECT_EQ(images_->runs, 1);  // the run went on
}

TEST_F(BackupServiceTest, ACategoryThatFailsStopsTheRun) {
  auto failing = service(
      Future<Section>::fail(makeError(BackupSDKError::zipFailedNotEnoughDiskSpace, "full")));
  auto report = awaitResult(failing->process(backupWithTaskList(), token_));
  EXPECT_THAT(report, FailsWith(BackupSDKError::zipFailedNotEnoughDiskSpace));
  EXPECT_EQ(videos_->runs, 0);
  EXPECT_EQ(cleanup_->runs, 0);
  EXPECT_FALSE(fs::exists(space_.file("tmp/MAC1.zip")));
}

TEST_F(BackupServiceTest, AFullRemoteCancelsTheRun) {
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
