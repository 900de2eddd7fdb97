#include "backup/MediaBackup.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "backup/ZipServiceDecorator.h"
#include "model/BackupRunState.h"
#include "model/Constants.h"
#include "platform/files/FileIOService.h"
#include "platform/zip/ZipService.h"
#include "support/ArchiveKeepingDelegate.h"
#include "support/AwaitResult.h"
#include "support/BackgroundQueue.h"
#include "support/ErrorMatchers.h"
#include "support/FaultyFileIOService.h"
#include "support/FixedDeviceUID.h"
#include "support/LocalRemote.h"
#include "support/MediaServices.h"
#include "support/MediaTree.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using Section = std::shared_ptr<ReportSection>;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The image and video services over real media folders, the disk-checking archive layer and a
// folder-backed remote whose archive limit the test chooses.
class MediaBackupTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_TRUE(flushBackgroundQueue()); }

  void start(int64_t zipLimit,
             std::chrono::milliseconds requestTimeout = RemoteIOService::kDefaultRequestTimeout) {
    fs::create_directories(space_.file("remote/MAC1/images"));
    fs::create_directories(space_.file("remote/MAC1/videos"));
    keeper_ = std::make_shared<ArchiveKeepingDelegate>(folderHost(space_, zipLimit),
                                                       space_.file("crossed"));
    host_ = std::make_shared<FaultyDelegate>(keeper_);
    media_ = MediaServices::build(
        {space_.file("home"), space_.file("tmp"), files_, nullptr, nullptr}, zip_);
    auto remote = remoteOver(host_, files_, nullptr, statusManager_, requestTimeout);
    auto archives = std::make_shared<ArchiveUploader>(
        ArchiveUploader::Collaborators{files_, zip_, remote, std::make_shared<FixedDeviceUID>(),
                                       serializer_, nullptr, space_.file("tmp")});
    auto category = [&](std::shared_ptr<MediaServiceProtocol> service,
                        const MediaBackup::Category& kind) {
      return std::make_shared<MediaBackup>(archives, remote, std::move(service), media_.caching,
                                           statusManager_, serializer_, nullptr, kind);
    };
    images_ = category(media_.imageService, MediaBackup::kImages);
    videos_ = category(media_.videoService, MediaBackup::kVideos);
  }

  // A task item for a new file below "home/Pictures" (or "home/Movies"), dated as the file.
  std::shared_ptr<MediaItem> file(const std::string& name, const std::string& content,
                                  const std::string& folder = "Pictures") {
    space_.write("home/" + folder + "/" + name, content);
    const Date date = Date{} + std::chrono::seconds(++dates_);
    MediaTree(space_.file("home"), {}).setModified(folder + "/" + name, date);
    const auto dot = name.rfind('.');
    return std::make_shared<MediaItem>(dot == std::string::npos ? "" : name.substr(dot + 1),
                                       static_cast<int64_t>(content.size()), name, date,
                                       std::nullopt, std::vector<std::string>{name});
  }
  // `size` bytes of content that differs for every name.
  std::shared_ptr<MediaItem> file(const std::string& name, size_t size) {
    return file(name, randomContent(size, static_cast<uint32_t>(std::hash<std::string>{}(name))));
  }
  // The content's fingerprint as the real media service computes it.
  std::string fingerprintOf(const MediaItem& item) {
    auto hashes = awaitResult(media_.imageService->getItemHash(item, token_, {Version(1, 1)}));
    return hashes && hashes->isSuccess() && !hashes->value()->empty() ? hashes->value()->front()
                                                                      : "";
  }

  // A record already holding `stored` items, with `task` to back up.
  std::shared_ptr<BackupRecord> backupOf(MediaMetaData::Items task,
                                         MediaMetaData::Items stored = {}, bool videos = false) {
    auto backup = std::make_shared<BackupRecord>("MAC1");
    backup->startDate = Date{} + std::chrono::hours(1);
    backup->taskListToProcess = std::make_shared<BackupRecord>("MAC1");
    auto& record = videos ? backup->videosMetaData : backup->imagesMetaData;
    auto& work = videos ? backup->taskListToProcess->videosMetaData
                        : backup->taskListToProcess->imagesMetaData;
    record = std::make_shared<MediaMetaData>(std::move(stored));
    work = std::make_shared<MediaMetaData>(std::move(task));
    return backup;
  }

  std::optional<FutureResult<Section>> runImages(const std::shared_ptr<BackupRecord>& backup) {
    return awaitResult(images_->run(backup, token_));
  }
  std::optional<FutureResult<Section>> runVideos(const std::shared_ptr<BackupRecord>& backup) {
    return awaitResult(videos_->run(backup, token_));
  }
  // The section of a run that succeeded with one; nothing otherwise.
  static std::optional<ReportSection> sectionOf(const std::optional<FutureResult<Section>>& run) {
    if (!run || !run->isSuccess() || !run->successValue()) return std::nullopt;
    return *run->successValue();
  }

  // Entry names of every archive that reached the remote, each checked by unzip and closed by
  // the record.
  std::vector<std::vector<std::string>> crossedArchives() {
    std::vector<std::vector<std::string>> all;
    for (const std::string& archive : keeper_->archives()) {
      all.push_back(zipEntries(archive));
      EXPECT_EQ(all.back().empty() ? "" : all.back().back(), "backup.json") << archive;
    }
    return all;
  }
  std::shared_ptr<MediaMetaData> remoteDocument(const std::string& name) {
    if (!fs::exists(space_.file("remote/MAC1/" + name))) return nullptr;
    return deserializeAs<MediaMetaData>(*serializer_, space_.read("remote/MAC1/" + name)).value();
  }
  static std::vector<std::string> fingerprints(const MediaMetaData::Items& items) {
    std::vector<std::string> all;
    for (const auto& item : items) all.push_back(item->fingerprint.value_or("none"));
    return all;
  }

  TempDir space_;
  int dates_ = 0;
  std::shared_ptr<FaultyFileIOService> files_ =
      std::make_shared<FaultyFileIOService>(std::make_shared<FileIOService>(space_.file("tmp")));
  std::shared_ptr<ZipServiceProtocol> zip_ =
      std::make_shared<ZipServiceDecorator>(files_, std::make_shared<ZipService>());
  std::shared_ptr<FileStatusManager> statusManager_ = statusManager();
  std::shared_ptr<Serializer> serializer_ = serializerFor();
  std::shared_ptr<CancelToken> token_ = std::make_shared<CancelToken>();
  std::shared_ptr<ArchiveKeepingDelegate> keeper_;
  std::shared_ptr<FaultyDelegate> host_;
  MediaServices media_;
  std::shared_ptr<MediaBackup> images_;
  std::shared_ptr<MediaBackup> videos_;
};

TEST_F(MediaBackupTest, ArchivesCloseAsSoonAsTheirPackedBytesReachTheHostLimit) {
  start(100);
  // 30 + 40 < 100 keeps the first archive open, 120 closes it; a file of exactly the limit closes
  // its archive too, and 250 travels alone.
  auto backup = backupOf({file("a.jpg", 30), file("b.jpg", 40), file("c.png", 50),
                          file("even.jpg", 100), file("big", 250)});
  ASSERT_EQ(sectionOf(runImages(backup)), ReportSection(5, 0, 470, 0));

  const auto& task = *backup->taskListToProcess->imagesMetaData->items;
  const auto entry = [&](size_t i) { return "images/" + task[i]->getRemoteFileName(); };
  EXPECT_THAT(crossedArchives(),
              ElementsAre(ElementsAre(entry(0), entry(1), entry(2), "images.json", "backup.json"),
                          ElementsAre(entry(3), "images.json", "backup.json"),
                          ElementsAre(entry(4), "images.json", "backup.json")));
  // Without an extension the remote name is the fingerprint alone.
  EXPECT_EQ(entry(4), "images/" + *task[4]->fingerprint);
  for (const auto& item : task) {
    ASSERT_TRUE(item->fingerprint.has_value());
    EXPECT_EQ(*item->fingerprint, fingerprintOf(*item));
    EXPECT_EQ(fs::file_size(space_.file("remote/MAC1/" + entry(&item - &task[0]))),
              static_cast<uintmax_t>(item->bytes));
    EXPECT_EQ(media_.caching->getItem(*item->fingerprint), item);
  }
  const auto stored = remoteDocument("images.json");
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->count, 5);
  EXPECT_EQ(stored->bytes, 470);
  EXPECT_EQ(fingerprints(*stored->items), fingerprints(task));
  EXPECT_EQ(backup->imagesMetaData->count, 5);
  // The schemes in use are kept current as items are recorded.
  EXPECT_EQ(backup->mediaVersions, (MediaVersions{5, 0, {Constants::hashVersion()}}));
  EXPECT_FALSE(fs::exists(space_.file("tmp/images.json")));
}

TEST_F(MediaBackupTest, ThousandsOfFilesRunAsOneFlatChain) {
  start(hosts::LocalFolderDelegate::kDefaultZipSize);
  MediaMetaData::Items task;
  for (int i = 0; i < 2000; ++i) task.push_back(file("many/" + std::to_string(i) + ".jpg", 8));
  auto backup = backupOf(task);
  ASSERT_EQ(sectionOf(awaitResult(images_->run(backup, token_), std::chrono::seconds(120))),
            ReportSection(2000, 0, 16000, 0));
  ASSERT_EQ(crossedArchives().size(), 1u);
  EXPECT_EQ(remoteDocument("images.json")->count, 2000);
}

TEST_F(MediaBackupTest, ContentAlreadyRemoteIsRecordedOrAdjustedWithoutBeingPacked) {
  start(1000);
  auto copied = file("copy.jpg", 60);       // cached from the remote, not yet in the record
  auto moved = file("2020/moved.jpg", 70);  // cached and in the record under another path
  auto fresh = file("fresh.jpg", 80);
  const std::string copiedPrint = fingerprintOf(*copied);
  const std::string movedPrint = fingerprintOf(*moved);
  // A move keeps the file's date.
  auto remoteMoved =
      std::make_shared<MediaItem>("jpg", 70, "old", moved->modificationDate, movedPrint,
                                  std::vector<std::string>{"old/moved.jpg"});
  media_.caching->setItem(copiedPrint,
                          std::make_shared<MediaItem>("jpg", 60, "elsewhere", Date{}, copiedPrint,
                                                      std::vector<std::string>{"elsewhere.jpg"}));
  media_.caching->setItem(movedPrint, remoteMoved);
  space_.write("remote/MAC1/images/" + copiedPrint + ".jpg", std::string(60, 'c'));
  space_.write("remote/MAC1/images/" + movedPrint + ".jpg", std::string(70, 'm'));
  auto backup = backupOf({copied, moved, fresh}, {remoteMoved});

  ASSERT_EQ(sectionOf(runImages(backup)), ReportSection(3, 0, 210, 0));
  // Only the new content travelled.
  EXPECT_THAT(crossedArchives(), ElementsAre(ElementsAre("images/" + fresh->getRemoteFileName(),
                                                         "images.json", "backup.json")));
  EXPECT_EQ(copied->fingerprint, copiedPrint);
  EXPECT_EQ(backup->imagesMetaData->getMediaItem(copiedPrint), copied);
  EXPECT_EQ(backup->imagesMetaData->count, 3);
  EXPECT_EQ(backup->imagesMetaData->bytes, 210);
  // The stored item takes over the local file's path.
  EXPECT_THAT(remoteMoved->paths(), ElementsAre("old/moved.jpg", "2020/moved.jpg"));
  const auto stored = remoteDocument("images.json");
  ASSERT_NE(stored, nullptr);
  ASSERT_NE(stored->getMediaItem(movedPrint), nullptr);
  EXPECT_THAT(stored->getMediaItem(movedPrint)->paths(),
              ElementsAre("old/moved.jpg", "2020/moved.jpg"));
}

TEST_F(MediaBackupTest, AFailedUploadRollsBackOnlyItsOwnArchive) {
  start(100);
  auto backup = backupOf({file("a.jpg", 60), file("b.jpg", 70), file("c.jpg", 80),
                          file("d.jpg", 90), file("e.jpg", 110)});
  const auto task = *backup->taskListToProcess->imagesMetaData->items;
  host_->failUpload(2, makeError(BackupSDKError::unknownError, "connection reset"));

  ASSERT_EQ(sectionOf(runImages(backup)), ReportSection(3, 2, 240, 170));
  // The run went on with the archive after the failed one.
  const auto crossed = crossedArchives();
  ASSERT_EQ(crossed.size(), 2u);
  EXPECT_EQ(crossed[1].front(), "images/" + task[4]->getRemoteFileName());

  const std::vector<std::string> landed = {*task[0]->fingerprint, *task[1]->fingerprint,
                                           *task[4]->fingerprint};
  EXPECT_EQ(fingerprints(*backup->imagesMetaData->items), landed);
  EXPECT_EQ(backup->imagesMetaData->bytes, 240);
  EXPECT_EQ(CreateUpdatedMediaVersions(*backup), (MediaVersions{3, 0, {Constants::hashVersion()}}));
  const auto stored = remoteDocument("images.json");
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(fingerprints(*stored->items), landed);
  for (size_t failed : {2u, 3u}) {
    EXPECT_EQ(media_.caching->getItem(fingerprintOf(*task[failed])), nullptr);
    EXPECT_FALSE(
        fs::exists(space_.file("remote/MAC1/images/" + fingerprintOf(*task[failed]) + ".jpg")));
  }
  // Progress counts the failed archive's files too.
  EXPECT_EQ(statusManager_->fileStatus().processed, 5);
}

TEST_F(MediaBackupTest, AFileThatCannotBeReadIsCountedFailedAndTheNextOneGoesOn) {
  start(1000);
  auto gone = file("gone.jpg", 20);
  fs::remove(space_.file("home/Pictures/gone.jpg"));
  auto kept = file("kept.jpg", 30);
  auto backup = backupOf({gone, kept});
  ASSERT_EQ(sectionOf(runImages(backup)), ReportSection(1, 1, 30, 20));
  EXPECT_EQ(gone->fingerprint, std::nullopt);
  EXPECT_THAT(fingerprints(*backup->imagesMetaData->items), ElementsAre(*kept->fingerprint));
}

TEST_F(MediaBackupTest, AFullLocalDiskStopsTheCategory) {
  start(1000);
  auto backup = backupOf({file("a.jpg", 20), file("b.jpg", 30)});
  files_->reportFreeSpace(0);
  EXPECT_THAT(runImages(backup), FailsWith(BackupSDKError::zipFailedNotEnoughDiskSpace));
  EXPECT_EQ(host_->calls("uploadFile"), 0);
  EXPECT_THAT(*backup->imagesMetaData->items, IsEmpty());
  EXPECT_THAT(media_.caching->mediaItemCache(), IsEmpty());
  EXPECT_FALSE(fs::exists(space_.file("tmp/MAC1.zip")));
}

TEST_F(MediaBackupTest, CancellingMidRunBuildsNoFurtherArchive) {
  start(100);
  auto backup = backupOf({file("a.jpg", 120), file("b.jpg", 130), file("c.jpg", 140)});
  host_->setDelivery(FaultyDelegate::Delivery::late);
  auto running = images_->run(backup, token_);
  ASSERT_TRUE(host_->waitForHeld(1));  // the listing of the folder
  host_->deliverHeld();
  ASSERT_TRUE(host_->waitForHeld(1));  // the first archive
  ASSERT_TRUE(token_->cancel().ok());
  host_->setDelivery(FaultyDelegate::Delivery::asIs);
  host_->deliverHeld();
  EXPECT_THAT(awaitResult(running), IsCancelled());
  EXPECT_EQ(host_->calls("uploadFile"), 1);
  EXPECT_EQ(backup->taskListToProcess->imagesMetaData->items->back()->fingerprint, std::nullopt);
  // Whether that archive crossed is unknown: the record claims none of it.
  EXPECT_THAT(*backup->imagesMetaData->items, IsEmpty());
}

TEST_F(MediaBackupTest, TheNextArchiveIsPackedWhileThePreviousOneTravels) {
  start(100);
  auto backup = backupOf({file("a.jpg", 120), file("b.jpg", 130), file("c.jpg", 140)});
  host_->setDelivery(FaultyDelegate::Delivery::late);
  auto running = images_->run(backup, token_);
  ASSERT_TRUE(host_->waitForHeld(1));  // the listing of the folder
  host_->deliverHeld();
  ASSERT_TRUE(host_->waitForHeld(1));  // the first archive
  // Held there, the first archive leaves the second one being written beside it.
  bool packing = false;
  for (int poll = 0; poll < 1000 && !packing; ++poll) {
    for (const auto& entry : fs::directory_iterator(space_.file("tmp"))) {
      packing = packing || entry.path().filename().string().starts_with("MAC1-2.zip.partial-");
    }
    if (!packing) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(packing);
  EXPECT_EQ(host_->calls("uploadFile"), 1);
  host_->setDelivery(FaultyDelegate::Delivery::asIs);
  host_->deliverHeld();
  ASSERT_EQ(sectionOf(awaitResult(running)), ReportSection(3, 0, 390, 0));
  EXPECT_EQ(crossedArchives().size(), 3u);
}

// An archive the host let time out may still land, and its documents would then replace those of
// any archive sent after it: nothing follows it while it is unanswered.
TEST_F(MediaBackupTest, NothingIsSentWhileAnArchiveThatTimedOutMayStillLand) {
  start(100, std::chrono::milliseconds(200));
  auto backup = backupOf({file("a.jpg", 120), file("b.jpg", 130), file("c.jpg", 140)});
  host_->setDelivery(FaultyDelegate::Delivery::late);
  auto running = images_->run(backup, token_);
  ASSERT_TRUE(host_->waitForHeld(1));  // the listing of the folder
  host_->deliverHeld();

  EXPECT_EQ(sectionOf(awaitResult(running)), ReportSection(0, 3, 0, 390));
  EXPECT_EQ(host_->calls("uploadFile"), 1);
  EXPECT_THAT(*backup->imagesMetaData->items, IsEmpty());
  host_->setDelivery(FaultyDelegate::Delivery::asIs);
  host_->deliverHeld();
}

TEST_F(MediaBackupTest, ContentOfTheArchiveOnItsWayIsReliedOnOnlyOnceItLanded) {
  start(50);
  auto first = file("clip.mov", std::string(90, 'v'), "Movies");
  auto copy = file("copy of clip.mov", std::string(90, 'v'), "Movies");
  auto backup = backupOf({first, copy}, {}, true);
  host_->failUpload(1, makeError(BackupSDKError::unknownError, "connection reset"));
  // The copy, in the second archive, waited for the first: that one failed, so the copy's own
  // file travelled.
  ASSERT_EQ(sectionOf(runVideos(backup)), ReportSection(1, 1, 90, 90));
  ASSERT_EQ(backup->videosMetaData->count, 1);
  EXPECT_THAT(backup->videosMetaData->items->front()->paths(), ElementsAre("copy of clip.mov"));
  EXPECT_TRUE(fs::exists(space_.file("remote/MAC1/videos/" + first->getRemoteFileName())));
  EXPECT_THAT(crossedArchives(), ElementsAre(ElementsAre("videos/" + first->getRemoteFileName(),
                                                         "videos.json", "backup.json")));
}

TEST_F(MediaBackupTest, NothingToDoStillRefreshesTheRemoteRecord) {
  start(1000);
  ASSERT_EQ(sectionOf(runVideos(backupOf({}, {}, true))), ReportSection(0, 0, 0, 0));
  EXPECT_THAT(crossedArchives(), ElementsAre(ElementsAre("videos.json", "backup.json")));
  EXPECT_EQ(remoteDocument("videos.json")->count, 0);
}

TEST_F(MediaBackupTest, VideosRecogniseContentPackedEarlierInTheSameRun) {
  start(1000);
  auto first = file("clip.mov", std::string(90, 'v'), "Movies");
  auto copy = file("copy of clip.mov", std::string(90, 'v'), "Movies");
  auto backup = backupOf({first, copy}, {}, true);
  host_->failUpload(1, makeError(BackupSDKError::unknownError, "connection reset"));
  // The copy is recorded as the first item's content; both fail with the archive.
  ASSERT_EQ(sectionOf(runVideos(backup)), ReportSection(0, 2, 0, 180));
  EXPECT_THAT(*backup->videosMetaData->items, IsEmpty());

  auto retry = backupOf({first, copy}, {}, true);
  ASSERT_NE(sectionOf(runVideos(retry)), std::nullopt);
  EXPECT_THAT(crossedArchives().back(),
              ElementsAre("videos/" + first->getRemoteFileName(), "videos.json", "backup.json"));
  // The copy, dated apart, is an item of its own over the one packed file.
  ASSERT_EQ(retry->videosMetaData->count, 2);
  EXPECT_EQ(retry->videosMetaData->items->back()->getRemoteFileName(), first->getRemoteFileName());
  EXPECT_THAT(first->paths(), ElementsAre("clip.mov"));
}

}  // namespace
}  // namespace tessellon
