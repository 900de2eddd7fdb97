#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "media/MediaTestFixture.h"
#include "support/FaultyFileIOService.h"
#include "media/fingerprints/Md5.h"
#include "platform/files/FileIOService.h"

namespace tessellon {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

class MediaDiscoveryTest : public MediaTestBase {
 protected:
  // A picture folder with everything a real one may hold besides photos.
  void buildPictures() {
    tree_.add("Pictures/a.jpg", randomContent(3000, 1));
    tree_.add("Pictures/2019/Summer trip/beach photo.JPG", randomContent(3000, 2));
    tree_.add("Pictures/2019/Über/Ålesund ☀.heic", randomContent(3000, 3));
    tree_.add("Pictures/.hidden.png", randomContent(10, 4));
    tree_.add("Pictures/notes.txt", "text is an image here");
    tree_.add("Pictures/.DS_Store", "x");
    tree_.add("Pictures/2019/.localized", "");
    tree_.add("Pictures/.localized/inside.jpg", randomContent(10, 5));
    tree_.add("Pictures/Lib.photoslibrary/originals/IMG_1.JPG", randomContent(5000, 6));
    tree_.add("Pictures/Lib.photoslibrary/originals/sub/movie.MOV", randomContent(5000, 7));
    tree_.add("Pictures/Lib.photoslibrary/originals/noextension", randomContent(100, 8));
    tree_.add("Pictures/Lib.photoslibrary/resources/derivatives/IMG_1.jpg", randomContent(99, 9));
    tree_.add("Pictures/Lib.photoslibrary/database/.DS_Store", "x");
    tree_.add("outside/secret.jpg", randomContent(50, 10));
    tree_.link("Pictures/loop", "../Pictures");
    tree_.link("Pictures/2019/self", ".");
    tree_.link("Pictures/outside.jpg", tree_.path("outside/secret.jpg"));
    tree_.link("Pictures/dangling.jpg", tree_.path("nothing-here"));
  }
};

TEST_F(MediaDiscoveryTest, PreviewListsEveryRegularFileOfThePictureFolderAndLibraryImages) {
  buildPictures();
  const auto items = preview(services().images);
  EXPECT_THAT(ids(items), ElementsAre(".hidden.png", "2019/Summer trip/beach photo.JPG",
                                      "2019/Über/Ålesund ☀.heic", "Lib.photoslibrary/originals/IMG_1.JPG",
                                      "a.jpg", "notes.txt"));
  for (const auto& item : items) {
    SCOPED_TRACE(item->id);
    EXPECT_THAT(item->paths(), ElementsAre(item->id));
    EXPECT_FALSE(item->fingerprint.has_value());
    EXPECT_EQ(item->modificationDate, tree_.modified("Pictures/" + item->id));
  }
  const auto beach = std::find_if(items.begin(), items.end(),
                                  [](const auto& item) { return item->id.ends_with("JPG"); });
  EXPECT_EQ((*beach)->fileExtension, "JPG");
  EXPECT_EQ((*beach)->bytes, 3000);
}

TEST_F(MediaDiscoveryTest, VideoScanTakesMovieFolderFilesAndLibraryVideosOnly) {
  buildPictures();
  tree_.add("Movies/clip.mp4", randomContent(700, 11));
  tree_.add("Movies/readme", "any file of the movie folder is a video");
  tree_.add("Movies/Other.photoslibrary/originals/x.mov", randomContent(70, 12));
  EXPECT_THAT(ids(preview(services().videos)),
              ElementsAre("Lib.photoslibrary/originals/sub/movie.MOV", "clip.mp4", "readme"));
  EXPECT_EQ(services_.videos->getMediaDirectory("Lib.photoslibrary/originals/sub/movie.MOV"),
            tree_.path("Pictures"));
  EXPECT_EQ(services_.videos->getMediaDirectory("clip.mp4"), tree_.path("Movies"));
}

TEST_F(MediaDiscoveryTest, NameThatIsNotUtf8IsSkippedWithAWarningNamingIt) {
  tree_.add("Pictures/good.jpg", randomContent(10, 1));
  tree_.add("Pictures/bad\xff\xfe.jpg", randomContent(10, 2));
  tree_.add("Pictures/z.jpg", randomContent(10, 3));
  EXPECT_THAT(ids(preview(services().images)), ElementsAre("good.jpg", "z.jpg"));
  const auto lines = logger_->lines();
  ASSERT_EQ(logger_->count(LogLevel::warning, "skipping "), 1u);
  EXPECT_THAT(lines.front().second, ::testing::HasSubstr("bad\\xFF\\xFE.jpg"));
}

TEST_F(MediaDiscoveryTest, UnreadableSubfolderIsSkippedAndTheScanGoesOn) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  tree_.add("Pictures/open/a.jpg", randomContent(10, 1));
  tree_.add("Pictures/closed/b.jpg", randomContent(10, 2));
  ::chmod(tree_.path("Pictures/closed").c_str(), 0);
  EXPECT_THAT(ids(preview(services().images)), ElementsAre("open/a.jpg"));
  ::chmod(tree_.path("Pictures/closed").c_str(), 0700);
}

TEST_F(MediaDiscoveryTest, PreviewRegistersLookalikesAsDuplicatesButListsThem) {
  const std::string photo = randomContent(2048, 1);
  for (const char* path : {"Pictures/a/p.jpg", "Pictures/b/p.jpg", "Pictures/c/p.jpg"}) {
    tree_.add(path, photo);
    tree_.setModified(path, Date(std::chrono::milliseconds(MediaTree::kFirstDateMs)));
  }
  tree_.add("Pictures/other.jpg", randomContent(2048, 2));
  const auto items = preview(services().images);
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(services_.duplicates->getDuplicateInformation(items), (DuplicateInfo{4096, 2}));
}

TEST_F(MediaDiscoveryTest, CancelledPreviewFindsNothing) {
  tree_.add("Pictures/a.jpg", randomContent(10, 1));
  auto token = std::make_shared<CancelToken>();
  (void)token->cancel();
  EXPECT_THAT(preview(services().images, token), IsEmpty());
}

TEST_F(MediaDiscoveryTest, AttributeReadFailureFailsThePreview) {
  tree_.add("Pictures/a.jpg", randomContent(10, 1));
  auto faulty = std::make_shared<FaultyFileIOService>(
      std::make_shared<FileIOService>(temp_.path() + "/tmp"));
  services(faulty);
  // The validator asks first, for the folder test; the item generation asks second.
  faulty->failNth(FaultyFileIOService::Operation::attributesOfItem, 2,
                  makeError(BackupSDKError::fileIOFailedToReadFile, "gone"));
  EXPECT_THAT(awaitResult(services_.images->getItemsOnBackupPreview(std::make_shared<CancelToken>())),
              FailsWith(BackupSDKError::fileIOFailedToReadFile));
}

TEST_F(MediaDiscoveryTest, IdenticalFilesBecomeOneItemWithBothPathsWhenFingerprinted) {
  const std::string photo = randomContent(5000, 1);
  tree_.add("Pictures/a/p.jpg", photo);
  tree_.add("Pictures/b/copy of p.jpg", photo);
  tree_.add("Pictures/Lib.photoslibrary/originals/p.jpg", photo);
  tree_.add("Pictures/q.jpg", randomContent(5000, 2));
  const MediaItemsWithHashes found = withHashes(services().images);
  ASSERT_EQ(found.size(), 2u);
  const auto& merged = found[0].item->paths().size() == 3 ? found[0] : found[1];
  EXPECT_THAT(merged.item->paths(), ElementsAre("a/p.jpg", "b/copy of p.jpg",
                                                "Lib.photoslibrary/originals/p.jpg"));
  EXPECT_EQ(merged.item->fingerprint, wholeContentFingerprint(photo));
  EXPECT_THAT(merged.hashes, ElementsAre(wholeContentFingerprint(photo)));
}

TEST_F(MediaDiscoveryTest, SecondScanOfAnUnchangedTreeReadsNoContent) {
  for (int i = 0; i < 5; ++i) {
    tree_.add("Pictures/f" + std::to_string(i) + "/p.jpg", randomContent(30000, i));
  }
  tree_.add("Pictures/empty.jpg", "");
  const MediaItemsWithHashes first = withHashes(services().images, {Version(1, 0), Version(1, 1)});
  EXPECT_EQ(reader_->opened(), 10);

  // Same size and date, other bytes: only a content read could notice.
  tree_.add("Pictures/f0/p.jpg", randomContent(30000, 99));
  tree_.setModified("Pictures/f0/p.jpg", Date(std::chrono::milliseconds(MediaTree::kFirstDateMs)));
  const MediaItemsWithHashes second = withHashes(services().images, {Version(1, 0), Version(1, 1)});
  EXPECT_EQ(reader_->opened(), 10);
  auto fingerprints = [](const MediaItemsWithHashes& items) {
    std::map<std::string, std::vector<std::string>> byId;
    for (const auto& entry : items) byId[entry.item->id] = entry.hashes;
    return byId;
  };
  EXPECT_EQ(fingerprints(first), fingerprints(second));
}

TEST_F(MediaDiscoveryTest, MediaHashNeedsAPathThatCanBeAUrl) {
  const std::string photo = randomContent(100, 1);
  tree_.add("Pictures/a.jpg", photo);
  services();
  const auto token = std::make_shared<CancelToken>();
  MediaItem good("jpg", 100, "a.jpg", Date{}, std::nullopt, {"a.jpg"});
  EXPECT_THAT(awaitResult(services_.images->getItemHash(good, token, {Version(1, 0), Version(1, 1)})),
              SucceedsWith(ElementsAre(Md5::toHex(Md5::digest(photo)), wholeContentFingerprint(photo))));
  MediaItem bad("jpg", 100, "b\xc3.jpg", Date{}, std::nullopt, {"b\xc3.jpg"});
  EXPECT_THAT(awaitResult(services_.images->getItemHash(bad, token, {Version(1, 1)})),
              FailsWith(BackupSDKError::mediaNoImageData));
  (void)token->cancel();
  EXPECT_THAT(awaitResult(services_.images->getItemHash(good, token, {Version(1, 1)})),
              IsCancelled());
}

TEST_F(MediaDiscoveryTest, ExistsAnswersFromTheFingerprintCache) {
  const std::string photo = randomContent(100, 1);
  tree_.add("Pictures/a.jpg", photo);
  const MediaItemsWithHashes found = withHashes(services().images);
  ASSERT_EQ(found.size(), 1u);
  MediaItem item = *found[0].item;
  EXPECT_THAT(awaitResult(services_.imageService->exists(item)), SucceedsWith(true));
  item.fingerprint = wholeContentFingerprint("other content");
  EXPECT_THAT(awaitResult(services_.imageService->exists(item)), SucceedsWith(false));
}

}  // namespace
}  // namespace tessellon
