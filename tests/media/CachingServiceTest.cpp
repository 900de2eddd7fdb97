#include "media/caches/CachingService.h"

#include <sys/stat.h>
#include <unistd.h>

#include "media/MediaTestFixture.h"
#include "media/caches/CacheIdentity.h"
#include "platform/files/FileIOService.h"
#include "support/FaultyFileIOService.h"

namespace tessellon {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

class CachingServiceTest : public MediaTestBase {
 protected:
  std::shared_ptr<FaultyFileIOService> faultyFiles() const {
    return std::make_shared<FaultyFileIOService>(
        std::make_shared<FileIOService>(temp_.path() + "/tmp"));
  }
  std::unique_ptr<CachingService> freshCache(
      std::shared_ptr<FileIOServiceProtocol> files = nullptr) {
    if (!files) files = std::make_shared<FileIOService>(temp_.path() + "/tmp");
    return std::make_unique<CachingService>(temp_.path() + "/tmp", files, [] { return nullptr; });
  }
  auto refresh(const Settings& settings) {
    return awaitResult(services_.caching->refreshMediaItemCache(
        settings, std::make_shared<CancelToken>(), {Version(1, 1)}));
  }
  std::string cacheFileOf(const std::string& text) {
    return temp_.read("tmp/cache/hash_" + cacheKey(text));
  }
};

// The folder's mode is the file service's (FileIOServiceTest): every folder in the temporary one
// is private.
TEST_F(CachingServiceTest, CacheFileIsNamedByTheScheme12FingerprintOfTheText) {
  auto cache = freshCache();
  cache->addHashes("abc", {"1.1_x"});
  cache->waitForCacheFiles();
  EXPECT_EQ(temp_.read("tmp/cache/hash_1.2_900150983cd24fb0d6963f7d28e17f72"), "1.1_x");
}

TEST_F(CachingServiceTest, AddingMergesInOrderAndSurvivesANewProcess) {
  auto cache = freshCache();
  cache->addHashes("item", {"a", "b"});
  cache->addHashes("item", {"b", "c", "a"});
  // Another service of the process sees the list whether or not it has reached the disk yet.
  EXPECT_THAT(freshCache()->getHashes("item"), ElementsAre("a", "b", "c"));
  cache->waitForCacheFiles();
  EXPECT_EQ(cacheFileOf("item"), "a\nb\nc");
}

TEST_F(CachingServiceTest, LastServiceToGoLeavesItsCacheFilesOnDisk) {
  auto cache = freshCache();
  for (int i = 0; i < 50; ++i) cache->addHashes("item " + std::to_string(i), {"1.1_x", "1.0_y"});
  cache->addHashes("item 7", {"1.1_z"});
  cache.reset();
  EXPECT_EQ(cacheFileOf("item 0"), "1.1_x\n1.0_y");
  EXPECT_EQ(cacheFileOf("item 49"), "1.1_x\n1.0_y");
  EXPECT_EQ(cacheFileOf("item 7"), "1.1_x\n1.0_y\n1.1_z");
}

TEST_F(CachingServiceTest, FailedCacheWriteKeepsTheMemoryEntryAndIsNotRetried) {
  auto faulty = faultyFiles();
  faulty->failNth(FaultyFileIOService::Operation::write, 1,
                  makeError(BackupSDKError::fileIOParentDirectoryNotFound, "disk full"));
  auto cache = freshCache(faulty);
  cache->addHashes("item", {"1.1_x"});
  cache->waitForCacheFiles();
  EXPECT_THAT(cache->getHashes("item"), ElementsAre("1.1_x"));
  EXPECT_EQ(faulty->calls(FaultyFileIOService::Operation::write), 1);
  EXPECT_THAT(freshCache()->getHashes("item"), IsEmpty());
}

TEST_F(CachingServiceTest, ScanOfAnUncachedTreeReadsNoCacheFileAndWritesOnePerItem) {
  for (int i = 0; i < 6; ++i) {
    tree_.add("Pictures/p" + std::to_string(i) + ".jpg", randomContent(3000 + i, i));
  }
  auto faulty = faultyFiles();
  services(faulty);
  ASSERT_EQ(withHashes(services_.images).size(), 6u);
  services_.caching->waitForCacheFiles();
  // The folder was listed once, empty: no file is looked up one by one.
  EXPECT_EQ(faulty->calls(FaultyFileIOService::Operation::read), 0);
  EXPECT_EQ(faulty->calls(FaultyFileIOService::Operation::write), 6);
  // The next run finds them all, and reads them instead of the photos.
  services(faulty);
  ASSERT_EQ(withHashes(services_.images).size(), 6u);
  EXPECT_EQ(faulty->calls(FaultyFileIOService::Operation::read), 6);
  EXPECT_EQ(reader_->opened(), 6);
}

TEST_F(CachingServiceTest, PlantedLinkAsCacheFileIsNotFollowed) {
  const std::string photo = randomContent(4000, 1);
  tree_.add("Pictures/a.jpg", photo);
  services();
  const MediaItem item("jpg", 4000, "a.jpg", tree_.modified("Pictures/a.jpg"), std::nullopt,
                       {"a.jpg"});
  const std::string decoy = temp_.write("decoy", "1.1_00000000000000000000000000000000");
  const std::string planted = services_.caching->keyToFilePath(cacheKey(cacheIdentity(item)));
  ASSERT_EQ(::symlink(decoy.c_str(), planted.c_str()), 0);

  const MediaItemsWithHashes found = withHashes(services_.images);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].item->fingerprint, wholeContentFingerprint(photo));
  struct stat status {};
  services_.caching->waitForCacheFiles();
  ASSERT_EQ(::lstat(planted.c_str(), &status), 0);
  EXPECT_TRUE(S_ISREG(status.st_mode)) << "the write replaced the link";
  EXPECT_EQ(temp_.read("decoy"), "1.1_00000000000000000000000000000000");
}

TEST_F(CachingServiceTest, RefreshRecordsLocalPathsOfTheSelectedCategories) {
  const std::string photo = randomContent(3000, 1);
  const std::string film = randomContent(3000, 2);
  tree_.add("Pictures/a.jpg", photo);
  tree_.add("Pictures/sub/a again.jpg", photo);
  tree_.add("Movies/m.mov", film);
  services();
  EXPECT_THAT(refresh(Settings(false, false, false, true)), SucceedsWith(Void{}));
  EXPECT_THAT(services_.caching->cachedPaths(),
              ElementsAre(std::pair{wholeContentFingerprint(photo),
                                    std::vector<std::string>{"a.jpg", "sub/a again.jpg"}}));
  services();
  EXPECT_THAT(refresh(Settings(false, false, true, true)), SucceedsWith(Void{}));
  EXPECT_THAT(services_.caching->cachedPaths(),
              UnorderedElementsAre(
                  std::pair{wholeContentFingerprint(photo),
                            std::vector<std::string>{"a.jpg", "sub/a again.jpg"}},
                  std::pair{wholeContentFingerprint(film), std::vector<std::string>{"m.mov"}}));
  EXPECT_THAT(services_.caching->getHashes("sub/a again.jpg"),
              ElementsAre(wholeContentFingerprint(photo)));
}

TEST_F(CachingServiceTest, ANewServiceFindsWhatAnEarlierOneWasStillWriting) {
  auto files = faultyFiles();
  files->holdWrites();
  auto earlier = freshCache(files);
  earlier->addHashes("written late", {"1.1_a"});
  auto later = freshCache(files);
  // The first miss lists the cache folder, while the earlier service's file is still queued.
  EXPECT_THAT(later->getHashes("never written"), IsEmpty());
  files->releaseWrites();
  earlier->waitForCacheFiles();
  EXPECT_THAT(later->getHashes("written late"), ElementsAre("1.1_a"));
}

// Items added for later behave as if each had been set, in order, before the next call; a later
// set replaces, a removal or a clearing drops what is in place.
TEST_F(CachingServiceTest, ItemsAddedForLaterAreInPlaceBeforeTheNextUse) {
  auto cache = freshCache();
  auto item = [](const char* id, std::optional<std::string> fingerprint) {
    return std::make_shared<MediaItem>("jpg", 1, id, Date{}, std::move(fingerprint),
                                       std::vector<std::string>{});
  };
  const auto a = item("a", "f"), b = item("b", "f"), c = item("c", "g"), d = item("d", "h");
  cache->setItem("h", a);
  cache->setItem("h", d);
  cache->addMediaItemsWhenNeeded({a, item("no fingerprint", std::nullopt), b, c});
  EXPECT_EQ(cache->getItem("f"), b);
  EXPECT_EQ(cache->getItem("h"), d);

  cache->addMediaItemsWhenNeeded({a});
  cache->removeItem("f");  // the waiting item goes in first, then is removed
  cache->addMediaItemsWhenNeeded({c});
  cache->setItem("g", d);  // the waiting item does not replace a later one
  EXPECT_THAT(cache->mediaItemCache(),
              UnorderedElementsAre(std::pair(std::string("g"), d), std::pair(std::string("h"), d)));

  cache->addMediaItemsWhenNeeded({a});
  cache->clearMediaItemCache();
  EXPECT_EQ(cache->getItem("f"), nullptr);
  EXPECT_THAT(cache->mediaItemCache(), IsEmpty());
}

}  // namespace
}  // namespace tessellon
