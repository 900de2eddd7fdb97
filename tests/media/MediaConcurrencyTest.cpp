#include <sstream>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "media/MediaTestFixture.h"
#include "media/caches/CacheIdentity.h"

namespace tessellon {
namespace {

using ::testing::UnorderedElementsAreArray;

class MediaConcurrencyTest : public MediaTestBase {};

TEST_F(MediaConcurrencyTest, ConcurrentAddsToOneKeyLoseNoFingerprint) {
  services();
  constexpr int kThreads = 4;
  constexpr int kEach = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < kEach; ++i) {
        const std::string hash = "1.1_" + std::to_string(t) + "_" + std::to_string(i);
        services_.caching->addHashes("shared", {hash});
        auto item =
            std::make_shared<MediaItem>("jpg", i, hash, Date{}, hash, std::vector<std::string>{});
        services_.caching->setItem(hash, item);
        EXPECT_EQ(services_.caching->getItem(hash), item);
        services_.caching->addPathToCache("fingerprint", hash);
      }
    });
  }
  for (auto& thread : threads) thread.join();

  std::vector<std::string> expected;
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kEach; ++i) {
      expected.push_back("1.1_" + std::to_string(t) + "_" + std::to_string(i));
    }
  }
  EXPECT_THAT(services_.caching->getHashes("shared"), UnorderedElementsAreArray(expected));
  EXPECT_THAT(services_.caching->cachedPaths().at("fingerprint"),
              UnorderedElementsAreArray(expected));
  // What the last write left on disk is the complete list, as a new process reads it.
  services_.caching->waitForCacheFiles();
  std::vector<std::string> onDisk;
  std::istringstream lines(temp_.read("tmp/cache/hash_" + cacheKey("shared")));
  for (std::string line; std::getline(lines, line);) onDisk.push_back(line);
  EXPECT_THAT(onDisk, UnorderedElementsAreArray(expected));
}

TEST_F(MediaConcurrencyTest, ImageAndVideoScansShareCacheAndDuplicatesFromPoolThreads) {
  const std::string content = randomContent(3000, 1);
  for (int i = 0; i < 20; ++i) {
    tree_.add("Pictures/p" + std::to_string(i) + ".jpg", randomContent(3000, 100 + i));
    tree_.add("Movies/m" + std::to_string(i) + ".mov", randomContent(3000, 200 + i));
  }
  services();
  const auto token = std::make_shared<CancelToken>();
  auto images = services_.images->getItemsWithHashOnRestore(token, {Version(1, 1)});
  auto videos = services_.videos->getItemsWithHashOnRestore(token, {Version(1, 1)});
  auto imagePreview = services_.images->getItemsOnBackupPreview(token);
  auto videoPreview = services_.videos->getItemsOnBackupPreview(token);
  const auto imageResult = awaitResult(images);
  const auto videoResult = awaitResult(videos);
  ASSERT_TRUE(imageResult && imageResult->isSuccess());
  ASSERT_TRUE(videoResult && videoResult->isSuccess());
  EXPECT_EQ(imageResult->successValue().size(), 20u);
  EXPECT_EQ(videoResult->successValue().size(), 20u);
  const auto previewed = awaitResult(imagePreview);
  ASSERT_TRUE(previewed && previewed->isSuccess());
  ASSERT_TRUE(awaitResult(videoPreview));
  EXPECT_EQ(services_.duplicates->getDuplicateInformation(previewed->successValue()),
            (DuplicateInfo{0, 0}));
  for (const auto& entry : imageResult->successValue()) {
    EXPECT_THAT(services_.caching->getHashes(cacheIdentity(*entry.item)),
                ::testing::ElementsAre(*entry.item->fingerprint));
  }
}

}  // namespace
}  // namespace tessellon
