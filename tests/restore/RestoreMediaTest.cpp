#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tessellon/Settings.h"

#include "delegates/LocalFolderDelegate.h"
#include "media/MediaTestFixture.h"
#include "remote/RemoteIOService.h"
#include "remote/SingleFileTransferStateReporter.h"
#include "restore/FailedToDownloadMediaMetaData.h"
#include "restore/RestoreImageService.h"
#include "restore/RestoreStatusService.h"
#include "restore/RestoreVideoService.h"
#include "sdk/FileStatusManager.h"
#include "sdk/NotificationService.h"
#include "support/BackgroundQueue.h"
#include "support/FaultyDelegate.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using Section = std::optional<RestoreMediaReportSection>;
using Counts = RestoreMediaReportSection;  // items, bytes and paths that succeeded and failed

constexpr int64_t kItemDateMs = 1500000000000;

// The image and video restore over a real home folder, a folder-backed remote holding
// "MAC1/images" and "MAC1/videos", and the real progress record.
class RestoreMediaTest : public MediaTestBase {
 protected:
  RestoreMediaTest() {
    fs::create_directories(temp_.file("remote/MAC1/images"));
    fs::create_directories(temp_.file("remote/MAC1/videos"));
    host_ = std::make_shared<FaultyDelegate>(std::make_shared<hosts::LocalFolderDelegate>(
        temp_.file("remote"), hosts::LocalFolderDelegate::kDefaultZipSize, std::nullopt,
        temp_.file("downloads")));
    auto remote = std::make_shared<RemoteIOService>(
        host_, media_.files, logger_,
        std::make_shared<SingleFileTransferStateReporter>(statusManager_));
    status_->setRestoreSettings(Settings(false, false, true, true));
    images_ = std::make_shared<RestoreImageService>(remote, logger_, status_, media_.files,
                                                    media_.imageService);
    videos_ = std::make_shared<RestoreVideoService>(remote, logger_, status_, media_.files,
                                                    media_.videoService);
  }
  void TearDown() override { EXPECT_TRUE(flushBackgroundQueue()); }

  // An item of the backup whose file lies on the remote side.
  std::shared_ptr<MediaItem> remoteItem(const std::string& folder, const std::string& content,
                                        std::vector<std::string> paths, bool uploaded = true) {
    auto item = makeItem(content, std::move(paths),
                         Date(std::chrono::milliseconds(kItemDateMs + 1000 * items_++)));
    if (uploaded) temp_.write("remote/MAC1/" + folder + "/" + item->getRemoteFileName(), content);
    return item;
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
  static std::shared_ptr<MediaMetaData> list(MediaMetaData::Items items) {
    return std::make_shared<MediaMetaData>(std::move(items));
  }
  Section restoreImages(const std::shared_ptr<MediaMetaData>& metaData) {
    auto result = awaitResult(images_->restoreAllImages(metaData, {"MAC1"}, token_));
    EXPECT_TRUE(result && result->isSuccess());
    return result && result->isSuccess() ? result->successValue() : Section();
  }
  void refreshLocalCache() {
    ASSERT_TRUE(awaitResult(media_.caching->refreshMediaItemCache(
        Settings(false, false, true, true), token_, {Version(1, 1)})));
  }
  std::string home(const std::string& relative) const { return temp_.file("home/" + relative); }
  bool downloadsLeft() const {
    return fs::exists(temp_.file("downloads")) && !fs::is_empty(temp_.file("downloads"));
  }
  int items_ = 0;
  std::shared_ptr<FileStatusManager> statusManager_ =
      std::make_shared<FileStatusManager>(std::make_shared<NotificationService>(nullptr));
  std::shared_ptr<RestoreStatusService> status_ =
      std::make_shared<RestoreStatusService>(statusManager_);
  std::shared_ptr<CancelToken> token_ = std::make_shared<CancelToken>();
  MediaServices& media_ = services();
  std::shared_ptr<FaultyDelegate> host_;
  std::shared_ptr<RestoreImageService> images_;
  std::shared_ptr<RestoreVideoService> videos_;
};

TEST_F(RestoreMediaTest, DownloadsEachFileOnceToAllItsPathsWithItsDate) {
  const std::string a = randomContent(5000, 1);
  const std::string b = randomContent(700, 2);
  auto first = remoteItem("images", a, {"2019/a.jpg", "albums/a.jpg"});
  auto second = remoteItem("images", b, {"b.jpg"});

  EXPECT_EQ(restoreImages(list({first, second})), Counts(2, 0, 5700, 0, 3, 0));

  EXPECT_EQ(temp_.read("home/Pictures/2019/a.jpg"), a);
  EXPECT_EQ(temp_.read("home/Pictures/albums/a.jpg"), a);
  EXPECT_EQ(temp_.read("home/Pictures/b.jpg"), b);
  EXPECT_EQ(tree_.modified("Pictures/b.jpg"), second->modificationDate);
  EXPECT_EQ(host_->calls("downloadFile"), 2);
  EXPECT_FALSE(downloadsLeft());
  EXPECT_EQ(statusManager_->fileStatus().processed, 2);
  EXPECT_EQ(statusManager_->fileStatus().processedBytes, 5700);
  EXPECT_EQ(logger_->count(LogLevel::verbose,
                           "successfully restored Image: " + first->getRemoteFileName()),
            1u);
}

TEST_F(RestoreMediaTest, AnItemAlreadyHereIsCopiedNotDownloaded) {
  const std::string content = randomContent(4000, 3);
  auto local = localItem(content, {"a.jpg", "trip/a.jpg"});
  refreshLocalCache();

  EXPECT_EQ(restoreImages(list({local})), Counts(1, 0, 4000, 0, 2, 0));

  EXPECT_EQ(host_->calls("downloadFile"), 0);
  EXPECT_EQ(temp_.read("home/Pictures/trip/a.jpg"), content);
  EXPECT_FALSE(fs::exists(home("Pictures/a 1.jpg")));
  EXPECT_EQ(logger_->count(LogLevel::verbose, "(Thread: "), 2u);
}

TEST_F(RestoreMediaTest, AMissingRemoteFileFailsOnlyItsItem) {
  auto missing = remoteItem("images", randomContent(900, 4), {"x.jpg", "y.jpg"}, false);
  auto present = remoteItem("images", randomContent(100, 5), {"z.jpg"});

  EXPECT_EQ(restoreImages(list({missing, present})), Counts(1, 1, 100, 900, 1, 2));

  EXPECT_FALSE(fs::exists(home("Pictures/x.jpg")));
  EXPECT_TRUE(fs::exists(home("Pictures/z.jpg")));
  EXPECT_EQ(logger_->count(LogLevel::warning,
                           "download of Image: " + missing->getRemoteFileName() + " failed ("),
            1u);
  EXPECT_EQ(statusManager_->fileStatus().processed, 2);
}

TEST_F(RestoreMediaTest, AListThatNeverArrivedFailsTheWholeCategoryWithoutRemoteCalls) {
  auto summary = MediaMetaData::stored(std::nullopt, 3, 3000);

  EXPECT_EQ(restoreImages(FailedToDownloadMediaMetaData::createFailedItems(summary)),
            Counts(0, 3, 0, 3000, 0, 0));

  EXPECT_EQ(host_->calls("downloadFile"), 0);
}

TEST_F(RestoreMediaTest, NothingToReportWithoutListOrSelection) {
  EXPECT_FALSE(restoreImages(nullptr));
  EXPECT_EQ(restoreImages(MediaMetaData::stored(std::nullopt, 2, 10)), Counts(0, 0, 0, 0, 0, 0));
  status_->setRestoreSettings(Settings(true, true, true, false));
  EXPECT_FALSE(restoreImages(list({remoteItem("images", "x", {"x.jpg"})})));
  EXPECT_EQ(host_->calls("downloadFile"), 0);
}

TEST_F(RestoreMediaTest, AVideoWrittenToOneOfTwoPathsSucceedsWithOneFailedPath) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  tree_.folder("Movies/locked");
  fs::permissions(home("Movies/locked"), fs::perms::owner_read | fs::perms::owner_exec);
  auto video = remoteItem("videos", randomContent(2048, 6), {"ok/v.mov", "locked/v.mov"});

  auto result = awaitResult(videos_->restoreAllVideos(list({video}), {"MAC1"}, token_));

  ASSERT_TRUE(result && result->isSuccess());
  EXPECT_EQ(result->successValue(), Counts(1, 0, 2048, 0, 1, 1));
  EXPECT_EQ(logger_->count(LogLevel::warning, "but failed to restore at pathes: locked/v.mov"), 1u);
  EXPECT_EQ(logger_->count(LogLevel::verbose, "sucessfully restored Video: "), 0u);
  EXPECT_TRUE(fs::exists(home("Movies/ok/v.mov")));
  fs::permissions(home("Movies/locked"), fs::perms::owner_all);
}

TEST_F(RestoreMediaTest, CancellingDuringADownloadCancelsTheLoop) {
  auto first = remoteItem("images", "first", {"1.jpg"});
  auto second = remoteItem("images", "second", {"2.jpg"});
  auto third = remoteItem("images", "third", {"3.jpg"});
  host_->setDelivery(FaultyDelegate::Delivery::late);

  auto restore = images_->restoreAllImages(list({first, second, third}), {"MAC1"}, token_);
  ASSERT_TRUE(host_->waitForHeld(1));
  host_->deliverHeld();
  ASSERT_TRUE(host_->waitForHeld(1));
  ASSERT_TRUE(token_->cancel().ok());

  EXPECT_THAT(awaitResult(restore), IsCancelled());
  host_->deliverHeld();
  EXPECT_EQ(host_->calls("downloadFile"), 2);
  EXPECT_TRUE(fs::exists(home("Pictures/1.jpg")));
  EXPECT_FALSE(fs::exists(home("Pictures/3.jpg")));
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
  FileStatus increaseFileStatusField(const Backup& backup) const override {
    return real_->increaseFileStatusField(backup);
  }
  void updateOverallFileStatus(const Backup& backup) override {
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
  RestoreImageService restore(nullptr, nullptr, probe, media_.files, media_.imageService);

  auto result = awaitResult(restore.restoreAllImages(list(items), {"MAC1"}, token_),
                            std::chrono::seconds(60));

  ASSERT_TRUE(result && result->isSuccess());
  EXPECT_EQ(result->successValue(), Counts(kItems, 0, bytes, 0, kItems, 0));
  // A frame or more per item would put thousands of frames between the first and the last.
  EXPECT_LT(probe->deepestNesting(), 64 * 1024);
}

}  // namespace
}  // namespace tessellon
