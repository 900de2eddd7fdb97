#include "backup/BackupPreviewService.h"

#include <filesystem>
#include <mutex>
#include <utility>

#include "backup/CalendarService.h"
#include "backup/OptimizeTaskListService.h"
#include "media/MediaTestFixture.h"
#include "model/BackupRunState.h"
#include "model/loading/MetadataLoader.h"
#include "platform/calendar/CalendarRepository.h"
#include "platform/contacts/CNContactStoreHelper.h"
#include "platform/contacts/ContactRepository.h"
#include "support/BackgroundQueue.h"
#include "support/FixedDeviceUID.h"
#include "support/LocalRemote.h"

namespace tessellon {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
using Items = MediaMetaData::Items;

Date date(int64_t ms) { return Date(std::chrono::milliseconds(ms)); }

// The real services of a preview over a generated machine and a folder-backed remote.
class BackupPreviewServiceTest : public MediaTestBase {
 protected:
  BackupPreviewServiceTest() {
    notifications_->setBackupPreviewProgress([this](int percent) {
      std::lock_guard lock(mutex_);
      progress_.push_back(percent);
    });
  }
  void TearDown() override { EXPECT_TRUE(flushBackgroundQueue()); }
  // In the record's order (the base's ids() sorts).
  static std::vector<std::string> ids(const std::shared_ptr<MediaMetaData>& metaData) {
    std::vector<std::string> result;
    if (metaData && metaData->items) {
      for (const auto& item : *metaData->items) result.push_back(item->id);
    }
    return result;
  }

  std::optional<FutureResult<std::shared_ptr<BackupRecord>>> preview(BackupSettings settings) {
    auto outcome = awaitResult(service_.generateBackup(settings, token_));
    EXPECT_TRUE(flushBackgroundQueue());
    return outcome;
  }
  std::shared_ptr<BackupRecord> previewed(BackupSettings settings) {
    auto outcome = preview(std::move(settings));
    EXPECT_THAT(outcome, SucceedsWith(::testing::NotNull()));
    return outcome && outcome->isSuccess() ? outcome->successValue() : nullptr;
  }
  static BackupSettings images(bool keepDeletedItems) {
    return BackupSettings("Mein Backup", false, false, false, true, keepDeletedItems);
  }

  // The items a backup run would have stored for the current picture folder.
  Items scannedImages() {
    auto scanned = awaitResult(media_.imageService->getItemsOnBackupPreview(token_));
    EXPECT_THAT(scanned, SucceedsWith(::testing::SizeIs(::testing::Gt(0u))));
    Items items = scanned && scanned->isSuccess() ? scanned->successValue() : Items{};
    for (auto& item : items) {
      auto content = temp_.read("home/Pictures/" + item->id);
      item->fingerprint = wholeContentFingerprint(content);
    }
    return items;
  }
  // Stores "backup.json" and "images.json" (or "videos.json") as a run leaves them.
  void storeRemote(const Items& stored, Date start, std::optional<Date> finish,
                   const std::string& category = "images") {
    BackupRecord record("MAC1");
    record.startDate = start;
    record.finishDate = finish;
    auto& media = category == "images" ? record.imagesMetaData : record.videosMetaData;
    media = std::make_shared<MediaMetaData>(stored);
    temp_.write("remote/MAC1/backup.json", serializer_->serialize(record).value());
    temp_.write("remote/MAC1/" + category + ".json", serializer_->serialize(*media).value());
  }
  std::vector<int> progress() {
    std::lock_guard lock(mutex_);
    return progress_;
  }

  MediaServices& media_ = services();
  std::shared_ptr<FaultyDelegate> host_ = folderHost(temp_, 1 << 20);
  std::shared_ptr<NotificationService> notifications_ =
      std::make_shared<NotificationService>(nullptr);
  std::shared_ptr<RemoteIOService> remote_ = remoteOver(host_, media_.files, logger_);
  std::shared_ptr<Serializer> serializer_ = serializerFor();
  std::shared_ptr<FixedDeviceUID> uid_ = std::make_shared<FixedDeviceUID>("MAC1");
  BackupPreviewService service_{
      std::make_shared<CalendarService>(
          std::make_shared<CalendarRepository>(temp_.file("calendars"))),
      std::make_shared<ContactRepository>(temp_.file("contacts"),
                                          std::make_shared<CNContactStoreHelper>()),
      media_.videoService,
      media_.imageService,
      uid_,
      remote_,
      media_.duplicates,
      std::make_shared<MetadataLoader>(remote_, media_.files, serializer_),
      media_.caching,
      media_.files,
      serializer_,
      std::make_shared<OptimizeTaskListService>(notifications_, media_.videoService,
                                                media_.imageService),
      logger_,
      "9.8.7"};
  std::shared_ptr<CancelToken> token_ = std::make_shared<CancelToken>();
  std::mutex mutex_;
  std::vector<int> progress_;
};

TEST_F(BackupPreviewServiceTest, ARenamedPhotoIsFoldedIntoTheStoredItemWhenDeletedItemsAreKept) {
  tree_.add("Pictures/renamed.jpg", randomContent(2000, 7));
  Items stored = scannedImages();
  stored.front()->id = "old.jpg";
  stored.front()->paths() = {"old.jpg"};
  const std::string fingerprint = *stored.front()->fingerprint;
  storeRemote(stored, date(1000), date(2000));

  auto kept = previewed(images(true));
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->taskListToProcess->imagesMetaData->count, 0);
  ASSERT_EQ(kept->imagesMetaData->count, 1);
  EXPECT_THAT(kept->imagesMetaData->items->front()->paths(),
              UnorderedElementsAre("old.jpg", "renamed.jpg"));
  EXPECT_THAT(progress(), ElementsAre(100));

  // Without kept items the stored photo is not in the result; the run finds its content in the
  // item cache instead of uploading it.
  auto reduced = previewed(images(false));
  ASSERT_NE(reduced, nullptr);
  EXPECT_EQ(reduced->imagesMetaData->count, 0);
  EXPECT_THAT(ids(reduced->taskListToProcess->imagesMetaData), ElementsAre("renamed.jpg"));
  auto cached = media_.caching->getItem(fingerprint);
  ASSERT_NE(cached, nullptr);
  EXPECT_EQ(cached->id, "old.jpg");
}

TEST_F(BackupPreviewServiceTest, AFinishedRunStartsANewOneAndAnInterruptedRunKeepsItsStart) {
  struct Case {
    const char* name;
    std::optional<Date> finish;
    bool startsNow;
  } cases[] = {{"finished", date(5000), true}, {"interrupted", std::nullopt, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    storeRemote({}, date(4000), c.finish);
    auto result = previewed(images(false));
    ASSERT_NE(result, nullptr);
    EXPECT_FALSE(result->finishDate.has_value());
    EXPECT_GT(result->modificationDate, date(5000));
    EXPECT_EQ(result->startDate, c.startsNow ? result->modificationDate : date(4000));
  }
}

TEST_F(BackupPreviewServiceTest, KeptItemsBringTheDocumentsOfUnselectedCategories) {
  tree_.add("Pictures/a.jpg", randomContent(100, 9));
  storeRemote({std::make_shared<MediaItem>("mov", 900, "clip.mov", date(1000), "1.1_0123",
                                           std::vector<std::string>{"clip.mov"})},
              date(1000), std::nullopt, "videos");

  auto kept = previewed(images(true));
  ASSERT_NE(kept, nullptr);
  EXPECT_THAT(ids(kept->videosMetaData), ElementsAre("clip.mov"));
  EXPECT_EQ(kept->taskListToProcess->videosMetaData, nullptr);

  auto reduced = previewed(images(false));
  ASSERT_NE(reduced, nullptr);
  EXPECT_EQ(reduced->videosMetaData, nullptr);
}

// One damaged byte must not block the remote for good: the run rebuilds the record instead.
TEST_F(BackupPreviewServiceTest, UnreadableOrMissingRemoteDocumentsAreRebuilt) {
  tree_.add("Pictures/a.jpg", randomContent(100, 9));
  auto rebuilds = [this](const char* what) {
    SCOPED_TRACE(what);
    auto result = preview(images(false));
    ASSERT_TRUE(result && result->isSuccess());
    const std::shared_ptr<BackupRecord> backup = result->successValue();
    EXPECT_TRUE(BackupRunState::of(std::as_const(*backup)).rebuildsRecord);
    EXPECT_THAT(ids(backup->taskListToProcess->imagesMetaData), ElementsAre("a.jpg"));
  };
  temp_.write("remote/MAC1/backup.json", "[\"not\", \"a record\"]");
  rebuilds("damaged backup.json");

  storeRemote(scannedImages(), date(1000), date(2000));
  temp_.write("remote/MAC1/images.json", R"({"count": 1, "items": []})");
  rebuilds("damaged images.json");

  std::filesystem::remove(temp_.file("remote/MAC1/images.json"));
  rebuilds("missing images.json");
}

TEST_F(BackupPreviewServiceTest, ADeviceFolderAnotherRunMakesMeanwhileIsAFirstBackupsFolder) {
  tree_.add("Pictures/a.jpg", randomContent(100, 9));
  // No folder when the preview lists it; another run's lock made it by the time the root is listed.
  host_->beforeRequest([this](const std::string& operation, const std::string& path) {
    if (operation == "getDirectoryInfo" && path.empty()) temp_.write("remote/MAC1/lock.json", "{}");
  });
  const std::shared_ptr<BackupRecord> backup = previewed(images(false));
  ASSERT_TRUE(backup);
  EXPECT_FALSE(BackupRunState::of(std::as_const(*backup)).rebuildsRecord);
  EXPECT_THAT(ids(backup->taskListToProcess->imagesMetaData), ElementsAre("a.jpg"));
}

// A rebuilt record would lack the kept items the document lists, and a later run would delete
// their files.
TEST_F(BackupPreviewServiceTest, ADocumentTheHostFailsToHandOverFailsThePreview) {
  tree_.add("Pictures/a.jpg", randomContent(100, 9));
  storeRemote(scannedImages(), date(1000), date(2000));
  // The folder host cannot hand over a folder as a file.
  std::filesystem::remove(temp_.file("remote/MAC1/images.json"));
  std::filesystem::create_directory(temp_.file("remote/MAC1/images.json"));
  EXPECT_THAT(preview(images(true)), FailsWith(BackupSDKError::delegateFileDownloadFailed));
}

TEST_F(BackupPreviewServiceTest, ACancelledPreviewEndsCancelledWithoutReadingTheRemote) {
  tree_.add("Pictures/a.jpg", randomContent(100, 9));
  ASSERT_TRUE(token_->cancel().ok());
  EXPECT_THAT(preview(images(false)), IsCancelled());
  EXPECT_EQ(host_->calls("downloadFile"), 0);
}

}  // namespace
}  // namespace tessellon
