#include "backup/OptimizeTaskListService.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "backup/PreviewProgress.h"
#include "core/NotificationService.h"
#include "support/AwaitResult.h"
#include "support/BackgroundQueue.h"
#include "support/ErrorMatchers.h"

namespace tessellon {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
using Hashes = std::vector<std::string>;

// A media category whose fingerprints the test chooses per item id; records the order of requests.
class ScriptedHashes final : public ImageServiceProtocol, public VideoServiceProtocol {
 public:
  std::map<std::string, Future<Hashes>> answers;
  std::vector<std::string> hashed;
  std::vector<std::vector<Version>> versionsAsked;

  Future<Hashes> getItemHash(const MediaItem& item, std::shared_ptr<CancelToken>,
                             const std::vector<Version>& forVersions) override {
    hashed.push_back(item.id);
    versionsAsked.push_back(forVersions);
    auto answer = answers.find(item.id);
    return answer != answers.end() ? answer->second : Future<Hashes>::success({});
  }

  std::shared_ptr<MediaRepositoryProtocol> mediaRepository() const override { return nullptr; }
  std::shared_ptr<MediaItemRepository> itemRepository() const override { return nullptr; }
  Future<std::vector<std::shared_ptr<MediaItem>>> getItemsOnBackupPreview(
      std::shared_ptr<CancelToken>) override {
    return Future<std::vector<std::shared_ptr<MediaItem>>>::success({});
  }
  Future<MediaItemsWithHashes> getItemsWithHashOnRestore(std::shared_ptr<CancelToken>,
                                                         const std::vector<Version>&) override {
    return Future<MediaItemsWithHashes>::success({});
  }
  Future<std::string> getItemChecksum(const MediaItem&, std::shared_ptr<CancelToken>) override {
    return Future<std::string>::success("");
  }
  Future<Void> appendItemFileToBackup(const std::shared_ptr<Zip>&, MediaItem&, bool) override {
    return Future<Void>::success(Void{});
  }
  Future<bool> exists(const MediaItem&) override { return Future<bool>::success(false); }
  Future<Hashes> addItemAtRestore(const MediaItem&, const std::string&) override {
    return Future<Hashes>::success({});
  }
  Future<Hashes> ensureItemExistsInAllItemPaths(const MediaItem&) override {
    return Future<Hashes>::success({});
  }
};

std::shared_ptr<MediaItem> item(const std::string& id, int64_t bytes,
                                std::optional<std::string> fingerprint = std::nullopt,
                                std::vector<std::string> paths = {}) {
  if (paths.empty()) paths.push_back(id);
  return std::make_shared<MediaItem>("jpg", bytes, id, Date{}, std::move(fingerprint),
                                     std::move(paths));
}

std::shared_ptr<MediaMetaData> media(MediaMetaData::Items items) {
  return std::make_shared<MediaMetaData>(std::move(items));
}

std::vector<std::string> ids(const std::shared_ptr<MediaMetaData>& metaData) {
  std::vector<std::string> result;
  for (const auto& entry : *metaData->items) result.push_back(entry->id);
  return result;
}

TEST(PreviewProgressTest, CountsTruncatedPercentagesAndIsDoneWithoutWork) {
  PreviewProgress three(3);
  EXPECT_EQ(three.getProgress(), 33);
  EXPECT_EQ(three.getProgress(), 66);
  EXPECT_EQ(three.getProgress(), 100);
  PreviewProgress none(0);
  EXPECT_EQ(none.getProgress(), 100);
  EXPECT_EQ(none.getProgress(), 100);
  EXPECT_EQ(PreviewProgress(std::nullopt).getProgress(), 100);
}

class OptimizeTaskListServiceTest : public ::testing::Test {
 protected:
  std::optional<FutureResult<Void>> optimize() {
    auto outcome = awaitResult(service_.optimizeTaskList(taskList_, result_, token_));
    EXPECT_TRUE(flushBackgroundQueue());
    return outcome;
  }

  std::shared_ptr<ScriptedHashes> images_ = std::make_shared<ScriptedHashes>();
  std::shared_ptr<ScriptedHashes> videos_ = std::make_shared<ScriptedHashes>();
  OptimizeTaskListService service_{std::make_shared<NotificationService>(nullptr), videos_,
                                   images_};
  std::shared_ptr<BackupRecord> taskList_ = std::make_shared<BackupRecord>("MAC1");
  std::shared_ptr<BackupRecord> result_ = std::make_shared<BackupRecord>("MAC1");
  std::shared_ptr<CancelToken> token_ = std::make_shared<CancelToken>();
};

TEST_F(OptimizeTaskListServiceTest, ContentAlreadyStoredLeavesTheTaskListAndLendsItsPaths) {
  // The stored photo was fingerprinted with an older scheme too.
  auto stored = item("r", 7, "1.0_abc", {"old/a.jpg", "shared.jpg"});
  result_->imagesMetaData = media({stored, item("s", 8, "1.1_other")});
  taskList_->imagesMetaData =
      media({item("moved", 7, std::nullopt, {"new/a.jpg", "shared.jpg"}), item("fresh", 9)});
  images_->answers.insert_or_assign("moved", Future<Hashes>::success({"1.1_def", "1.0_abc"}));
  images_->answers.insert_or_assign("fresh", Future<Hashes>::success({"1.1_zzz"}));

  EXPECT_THAT(optimize(), SucceedsWith(Void{}));
  EXPECT_THAT(ids(taskList_->imagesMetaData), ElementsAre("fresh"));
  EXPECT_EQ(taskList_->imagesMetaData->count, 1);
  EXPECT_EQ(taskList_->imagesMetaData->bytes, 9);
  EXPECT_THAT(stored->paths(), UnorderedElementsAre("old/a.jpg", "shared.jpg", "new/a.jpg"));
  EXPECT_EQ(result_->imagesMetaData->count, 2);
  EXPECT_EQ(result_->imagesMetaData->bytes, 15);
  // Hashed for every scheme the stored media use.
  EXPECT_THAT(result_->mediaVersions.versions, UnorderedElementsAre(Version(1, 1), Version(1, 0)));
  ASSERT_FALSE(images_->versionsAsked.empty());
  EXPECT_EQ(images_->versionsAsked.front(), result_->mediaVersions.versions);
}

TEST_F(OptimizeTaskListServiceTest, AFailedFingerprintStopsTheCategoryAndRemovesNothing) {
  auto stored = item("r", 7, "1.1_a");
  result_->imagesMetaData = media({stored});
  result_->videosMetaData = media({item("rv", 7, "1.1_v")});
  taskList_->imagesMetaData = media({item("a", 1), item("broken", 2), item("c", 3)});
  taskList_->videosMetaData = media({item("v", 1)});
  images_->answers.insert_or_assign("a", Future<Hashes>::success({"1.1_a"}));
  images_->answers.insert_or_assign(
      "broken", Future<Hashes>::fail(makeError(BackupSDKError::mediaNoImageData, "unreadable")));

  EXPECT_THAT(optimize(), FailsWith(BackupSDKError::mediaNoImageData));
  EXPECT_THAT(images_->hashed, ElementsAre("a", "broken"));
  EXPECT_THAT(videos_->hashed, IsEmpty());
  EXPECT_EQ(taskList_->imagesMetaData->count, 3);
  // Paths given before the failure stay given.
  EXPECT_THAT(stored->paths(), UnorderedElementsAre("r", "a"));
}

TEST_F(OptimizeTaskListServiceTest, CancellationOfAFingerprintEndsTheOptimisationCancelled) {
  result_->imagesMetaData = media({item("r", 7, "1.1_r")});
  taskList_->imagesMetaData = media({item("a", 1), item("b", 2)});
  taskList_->videosMetaData = media({item("v", 1)});
  result_->videosMetaData = media({item("rv", 7, "1.1_v")});
  // A host that aborts a read reports it in the URL-loading domain.
  images_->answers.insert_or_assign(
      "a", Future<Hashes>::fail(Error{"NSURLErrorDomain", -999, "cancelled"}));
  EXPECT_THAT(optimize(), IsCancelled());
  EXPECT_THAT(images_->hashed, ElementsAre("a"));
  EXPECT_THAT(videos_->hashed, IsEmpty());
}

}  // namespace
}  // namespace tessellon
