#include <unistd.h>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "media/MediaTestFixture.h"
#include "platform/files/FileIOService.h"
#include "platform/files/PosixError.h"
#include "restore/RestoreMediaItemService.h"
#include "restore/RestoreStatusService.h"
#include "support/BackgroundQueue.h"
#include "support/FaultyFileIOService.h"
#include "support/LocalRemote.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using Section = std::optional<RestoreMediaReportSection>;
using Counts = RestoreMediaReportSection;  // items, bytes and paths that succeeded and failed

constexpr int64_t kItemDateMs = 1500000000000;

// The image restore over a real home folder, a folder-backed remote and the real progress record.
class RestoreMediaTest : public MediaTestBase {
 protected:
  RestoreMediaTest() {
    auto remote = remoteOver(host_, media_.files, logger_, statusManager_);
    status_->setRestoreSettings(Settings(false, false, true, true));
    images_ = std::make_shared<RestoreMediaItemService>(remote, logger_, status_, media_.files,
                                                        media_.imageService,
                                                        RestoreMediaItemService::kImages, slots_);
    videos_ = std::make_shared<RestoreMediaItemService>(remote, logger_, status_, media_.files,
                                                        media_.videoService,
                                                        RestoreMediaItemService::kVideos, slots_);
  }
  void TearDown() override { EXPECT_TRUE(flushBackgroundQueue()); }

  // An item of the backup whose file lies on the remote side.
  std::shared_ptr<MediaItem> remoteItem(const std::string& content, const std::string& path) {
    auto item = makeItem(content, {path}, Date(std::chrono::milliseconds(kItemDateMs)));
    temp_.write("remote/MAC1/images/" + item->getRemoteFileName(), content);
    return item;
  }
  // Items "1.jpg" to "<count>.jpg" of the backup holding "<content> <n>", on the remote side.
  MediaMetaData::Items remoteItems(int count, const std::string& content) {
    MediaMetaData::Items items;
    for (int i = 1; i <= count; ++i) {
      items.push_back(remoteItem(content + " " + std::to_string(i), std::to_string(i) + ".jpg"));
    }
    return items;
  }
  // An item of the backup whose file is also in the picture folder, as it was backed up.
  std::shared_ptr<MediaItem> localItem(const std::string& content, std::vector<std::string> paths) {
    tree_.add("Pictures/" + paths.front(), content);
    const Date date = tree_.modified("Pictures/" + paths.front());
    return makeItem(content, std::move(paths), date);
  }
  static std::shared_ptr<MediaItem> makeItem(const std::string& content,
                                             std::vector<std::string> paths, Date date) {
    const std::string id = paths.front();
    return std::make_shared<MediaItem>("jpg", static_cast<int64_t>(content.size()), id, date,
                                       wholeContentFingerprint(content), std::move(paths));
  }
  // Gives the image restore files the test can hold up, and slots of its own.
  std::shared_ptr<FaultyFileIOService> imagesOverFaultyFiles() {
    auto files =
        std::make_shared<FaultyFileIOService>(std::make_shared<FileIOService>(temp_.file("tmp")));
    images_ = std::make_shared<RestoreMediaItemService>(
        remoteOver(host_, files, logger_, statusManager_), logger_, status_, files,
        services(files).imageService, RestoreMediaItemService::kImages,
        std::make_shared<RestoreSlots>());
    return files;
  }
  static std::shared_ptr<MediaMetaData> list(MediaMetaData::Items items) {
    return std::make_shared<MediaMetaData>(std::move(items));
  }
  Section restoreImages(const std::shared_ptr<MediaMetaData>& metaData) {
    auto result = awaitResult(images_->restoreAll(metaData, {"MAC1"}, token_));
    EXPECT_TRUE(result && result->isSuccess());
    return result && result->isSuccess() ? result->successValue() : Section();
  }
  void refreshLocalCache() {
    ASSERT_TRUE(awaitResult(media_.caching->refreshMediaItemCache(
        Settings(false, false, true, true), token_, {Version(1, 1)})));
  }
  std::string home(const std::string& relative) const { return temp_.file("home/" + relative); }
  std::shared_ptr<FileStatusManager> statusManager_ = statusManager();
  std::shared_ptr<RestoreStatusService> status_ =
      std::make_shared<RestoreStatusService>(statusManager_);
  std::shared_ptr<CancelToken> token_ = std::make_shared<CancelToken>();
  MediaServices& media_ = services();
  std::shared_ptr<FaultyDelegate> host_ = folderHost(temp_);
  // One limit for both categories, as the container makes it.
  std::shared_ptr<RestoreSlots> slots_ = std::make_shared<RestoreSlots>();
  std::shared_ptr<RestoreMediaItemService> images_;
  std::shared_ptr<RestoreMediaItemService> videos_;
};

TEST_F(RestoreMediaTest, FourDownloadsRunAtOnceAndACancelStartsNoFurtherItem) {
  const MediaMetaData::Items items = remoteItems(6, "content");
  host_->setDelivery(FaultyDelegate::Delivery::late);

  auto restore = images_->restoreAll(list(items), {"MAC1"}, token_);
  ASSERT_TRUE(host_->waitForHeld(4));
  EXPECT_EQ(host_->calls("downloadFile"), 4);
  host_->deliverHeld();
  ASSERT_TRUE(host_->waitForHeld(2));
  ASSERT_TRUE(token_->cancel().ok());

  EXPECT_THAT(awaitResult(restore), IsCancelled());
  host_->deliverHeld();
  EXPECT_EQ(host_->calls("downloadFile"), 6);
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(temp_.read("home/Pictures/" + std::to_string(i) + ".jpg"),
              "content " + std::to_string(i));
  }
  EXPECT_FALSE(fs::exists(home("Pictures/5.jpg")));
  EXPECT_FALSE(fs::exists(home("Pictures/6.jpg")));
}

TEST_F(RestoreMediaTest, ImagesAndVideosRestoredTogetherShareFourDownloads) {
  const MediaMetaData::Items pictures = remoteItems(5, "picture");
  MediaMetaData::Items movies;
  for (int i = 1; i <= 2; ++i) {
    auto movie = makeItem("movie " + std::to_string(i), {"m" + std::to_string(i) + ".mov"},
                          Date(std::chrono::milliseconds(kItemDateMs)));
    movie->fileExtension = "mov";
    temp_.write("remote/MAC1/videos/" + movie->getRemoteFileName(), "movie " + std::to_string(i));
    movies.push_back(movie);
  }
  host_->setDelivery(FaultyDelegate::Delivery::late);

  auto images = images_->restoreAll(list(pictures), {"MAC1"}, token_);
  auto videos = videos_->restoreAll(list(movies), {"MAC1"}, token_);
  ASSERT_TRUE(host_->waitForHeld(4));
  ASSERT_TRUE(flushBackgroundQueue());
  EXPECT_EQ(host_->calls("downloadFile"), 4);
  host_->deliverHeld();
  ASSERT_TRUE(host_->waitForHeld(3));
  host_->deliverHeld();

  const auto imagesDone = awaitResult(images);
  const auto videosDone = awaitResult(videos);
  ASSERT_TRUE(imagesDone && imagesDone->isSuccess() && imagesDone->successValue());
  ASSERT_TRUE(videosDone && videosDone->isSuccess() && videosDone->successValue());
  EXPECT_EQ(imagesDone->successValue()->success, 5);
  EXPECT_EQ(videosDone->successValue()->success, 2);
  EXPECT_EQ(host_->calls("downloadFile"), 7);
  EXPECT_EQ(temp_.read("home/Pictures/5.jpg"), "picture 5");
  EXPECT_EQ(temp_.read("home/Movies/m2.mov"), "movie 2");
}

TEST_F(RestoreMediaTest, DownloadsGoOnWhileDownloadedItemsWaitToBePlaced) {
  // Placements run one at a time and may be slow (a copy for each further path): the transfers
  // must not idle meanwhile.
  const auto files = imagesOverFaultyFiles();
  const MediaMetaData::Items items = remoteItems(6, "content");
  host_->setDelivery(FaultyDelegate::Delivery::late);
  files->holdMoves();

  auto restore = images_->restoreAll(list(items), {"MAC1"}, token_);
  ASSERT_TRUE(host_->waitForHeld(4));
  host_->deliverHeld();
  EXPECT_TRUE(host_->waitForHeld(2));
  files->releaseMoves();
  host_->deliverHeld();
  const auto result = awaitResult(restore);

  ASSERT_TRUE(result && result->isSuccess() && result->successValue());
  EXPECT_EQ(result->successValue()->success, 6);
  for (int i = 1; i <= 6; ++i) {
    EXPECT_EQ(temp_.read("home/Pictures/" + std::to_string(i) + ".jpg"),
              "content " + std::to_string(i));
  }
}

TEST_F(RestoreMediaTest, RestoredFilesTheDiskDidNotTakeCountAsFailed) {
  // A write-back error shows only when the file system is flushed: the files are in place, but
  // may not survive a power cut, so the report must not call them restored.
  const auto files = imagesOverFaultyFiles();
  files->failNth(FaultyFileIOService::Operation::syncFileSystem, 1,
                 posixError("sync " + home("Pictures"), EIO));
  const Section restored = restoreImages(list(remoteItems(3, "content")));
  ASSERT_TRUE(restored);
  const Section section = images_->flushed(*restored);

  ASSERT_TRUE(section);
  EXPECT_EQ(section->success, 0);
  EXPECT_EQ(section->failed, 3);
  EXPECT_EQ(section->failedPaths, 3);
  ASSERT_EQ(section->failedItems.size(), 1U);
  EXPECT_EQ(section->failedItems[0].path, home("Pictures"));
  EXPECT_THAT(section->failedItems[0].reason, HasSubstr("could not be written to disk"));
  EXPECT_EQ(temp_.read("home/Pictures/2.jpg"), "content 2");
}

TEST_F(RestoreMediaTest, VersionsOfOnePathArrivingTogetherEachKeepTheirOwnName) {
  // Placements that could overlap are made to: each picks a free name before the other moves.
  imagesOverFaultyFiles()->pairMoves(std::chrono::milliseconds(300));
  tree_.add("Pictures/a.jpg", "the user's own picture");
  MediaMetaData::Items items;
  std::set<std::string> contents{"the user's own picture"};
  for (int i = 1; i <= 4; ++i) {
    const std::string content = "version " + std::to_string(i);
    items.push_back(remoteItem(content, "a.jpg"));
    contents.insert(content);
  }
  host_->setDelivery(FaultyDelegate::Delivery::late);

  auto restore = images_->restoreAll(list(items), {"MAC1"}, token_);
  ASSERT_TRUE(host_->waitForHeld(4));
  host_->deliverHeld();
  auto result = awaitResult(restore);

  ASSERT_TRUE(result && result->isSuccess() && result->successValue());
  EXPECT_EQ(result->successValue()->failedPaths, 0);
  std::set<std::string> found;
  for (const auto& entry : fs::directory_iterator(home("Pictures"))) {
    found.insert(temp_.read("home/Pictures/" + entry.path().filename().string()));
  }
  EXPECT_EQ(found, contents);
  EXPECT_EQ(temp_.read("home/Pictures/a.jpg"), "the user's own picture");
}

// The real progress record, noting how deep the stack of each thread is when an item is done.
class StackProbingStatus final : public RestoreStatusServiceProtocol {
 public:
  explicit StackProbingStatus(std::shared_ptr<RestoreStatusServiceProtocol> real)
      : real_(std::move(real)) {}
  // The largest distance between two progress calls' frames on one thread.
  std::ptrdiff_t deepestNesting() const {
    std::lock_guard lock(mutex_);
    std::ptrdiff_t deepest = 0;
    for (const auto& [thread, range] : frames_)
      deepest = std::max(deepest, range.second - range.first);
    return deepest;
  }

  Settings restoreSettings() const override { return real_->restoreSettings(); }
  void setRestoreSettings(const Settings& settings) override {
    real_->setRestoreSettings(settings);
  }
  FileStatus increaseFileStatusField(const BackupRecord& backup) const override {
    return real_->increaseFileStatusField(backup);
  }
  void updateOverallFileStatus(const BackupRecord& backup) override {
    real_->updateOverallFileStatus(backup);
  }
  void updateProgress(int64_t bytes) override {
    // The frame address, not a local's: under AddressSanitizer locals may live
    // on a separate fake stack.
    const auto at = reinterpret_cast<std::ptrdiff_t>(__builtin_frame_address(0));
    {
      std::lock_guard lock(mutex_);
      auto [range, added] = frames_.try_emplace(std::this_thread::get_id(), at, at);
      range->second.first = std::min(range->second.first, at);
      range->second.second = std::max(range->second.second, at);
    }
    real_->updateProgress(bytes);
  }

 private:
  const std::shared_ptr<RestoreStatusServiceProtocol> real_;
  mutable std::mutex mutex_;
  std::map<std::thread::id, std::pair<std::ptrdiff_t, std::ptrdiff_t>> frames_;
};

TEST_F(RestoreMediaTest, ThousandsOfLocalItemsDoNotNestTheStack) {
  constexpr int kItems = 3000;
  MediaMetaData::Items items;
  int64_t bytes = 0;
  for (int i = 0; i < kItems; ++i) {
    items.push_back(localItem("tiny " + std::to_string(i), {std::to_string(i) + ".jpg"}));
    bytes += items.back()->bytes;
  }
  refreshLocalCache();
  auto probe = std::make_shared<StackProbingStatus>(status_);
  RestoreMediaItemService restore(nullptr, nullptr, probe, media_.files, media_.imageService,
                                  RestoreMediaItemService::kImages, slots_);

  auto result =
      awaitResult(restore.restoreAll(list(items), {"MAC1"}, token_), std::chrono::seconds(60));

  ASSERT_TRUE(result && result->isSuccess());
  EXPECT_EQ(result->successValue(), Counts(kItems, 0, bytes, 0, kItems, 0));
  // A frame or more per item would put thousands of frames between the first and the last.
  EXPECT_LT(probe->deepestNesting(), 64 * 1024);
}

}  // namespace
}  // namespace tessellon
