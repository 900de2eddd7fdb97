#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include "media/DuplicateCollection.h"
#include "media/MediaTestFixture.h"
#include "platform/files/ContentChecksum.h"
#include "platform/files/FileIOService.h"
#include "platform/files/PosixError.h"
#include "support/ArchiveKeepingDelegate.h"
#include "support/DeepFolder.h"
#include "support/FaultyFileIOService.h"

namespace tessellon {
namespace {

using ::testing::ElementsAre;

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
  EXPECT_THAT(
      ids(items),
      ElementsAre(".hidden.png", "2019/Summer trip/beach photo.JPG", "2019/Über/Ålesund ☀.heic",
                  "Lib.photoslibrary/originals/IMG_1.JPG", "a.jpg", "notes.txt"));
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

TEST_F(MediaDiscoveryTest, ScanTakesTheRecordedItemOnlyForAFileTheRecordDescribesUnchanged) {
  tree_.add("Pictures/same.jpg", randomContent(100, 1));
  tree_.add("Pictures/grown.jpg", randomContent(100, 2));
  tree_.add("Pictures/copied.jpg", randomContent(100, 3));
  tree_.add("Pictures/Lib.photoslibrary/originals/IMG_1.JPG", randomContent(100, 4));
  const auto recordOf = [this](const std::string& path, int64_t bytes) {
    auto item = std::make_shared<MediaItem>(path.substr(path.rfind('.') + 1), bytes, path,
                                            tree_.modified("Pictures/" + path), "1.1_" + path,
                                            std::vector<std::string>{path});
    item->checksum = "xxh3-128:" + std::string(32, '0');
    return item;
  };
  MediaMetaData::Items items{recordOf("same.jpg", 100), recordOf("grown.jpg", 99),
                             recordOf("copied.jpg", 100),
                             recordOf("Lib.photoslibrary/originals/IMG_1.JPG", 100)};
  items[2]->paths().push_back("elsewhere/copied.jpg");
  auto record = std::make_shared<MediaMetaData>(items);

  const auto scannedAs = [this, &record](const std::string& id) {
    for (const auto& item : scanned(services().images, record).items) {
      if (item->id == id) return item;
    }
    return std::shared_ptr<MediaItem>();
  };
  EXPECT_EQ(scannedAs("same.jpg"), items[0]);
  EXPECT_EQ(scannedAs("Lib.photoslibrary/originals/IMG_1.JPG"), items[3]);
  EXPECT_NE(scannedAs("copied.jpg"), items[2]);  // the record's item stands for another file too
  const auto grown = scannedAs("grown.jpg");
  ASSERT_TRUE(grown);
  EXPECT_NE(grown, items[1]);
  EXPECT_EQ(grown->bytes, 100);
  EXPECT_FALSE(grown->fingerprint.has_value());
  // A file whose date moved is new to the scan as well.
  tree_.setModified("Pictures/same.jpg",
                    tree_.modified("Pictures/same.jpg") + std::chrono::seconds(5));
  const auto moved = scannedAs("same.jpg");
  ASSERT_TRUE(moved);
  EXPECT_NE(moved, items[0]);
}

// The entries a scan skipped, each as "<path below home>: <reason>", in scan order; every one
// must carry `category`.
std::vector<std::string> skips(const MediaScan& scan, const std::string& home,
                               SkippedItem::Category category) {
  std::vector<std::string> lines;
  for (const SkippedItem& item : scan.skipped) {
    EXPECT_EQ(item.category, category) << item.path;
    const bool below = item.path.starts_with(home + "/");
    lines.push_back((below ? item.path.substr(home.size() + 1) : item.path) + ": " + item.reason);
  }
  return lines;
}

TEST_F(MediaDiscoveryTest, ScanNamesEveryFileItCannotTakeOnceWithTheReason) {
  tree_.add("Pictures/a.jpg", randomContent(10, 1));
  tree_.add("Pictures/bad\xff.jpg", randomContent(10, 2));
  tree_.add("Pictures/bad\xfe folder/x.jpg", randomContent(10, 3));
  tree_.add("Pictures/bad\xfe folder/y\xff.jpg", randomContent(10, 4));
  tree_.add("Pictures/.DS_Store", "x");
  tree_.link("Pictures/dangling.jpg", tree_.path("nothing-here"));
  const DeepFolder deep(tree_.path("Pictures"));
  const std::string longest = deep.addFile(4095, "fits", ".jpg");
  const std::string tooLong = deep.addFile(4096, "too long", ".jpg");
  const std::string unlistable = deep.addFolder(4096);
  const std::string home = temp_.path() + "/home";

  const MediaScan scan = scanned(services().images);
  EXPECT_THAT(ids(scan.items), ElementsAre("a.jpg", longest.substr(home.size() + 10)));
  EXPECT_THAT(skips(scan, home, SkippedItem::Category::images),
              ElementsAre("Pictures/bad\xfe folder: not UTF-8", "Pictures/bad\xff.jpg: not UTF-8",
                          tooLong.substr(home.size() + 1) + ": path too long",
                          unlistable.substr(home.size() + 1) + ": path too long"));
  EXPECT_EQ(logger_->count(LogLevel::warning, "skipping "), 4u);
}

TEST_F(MediaDiscoveryTest, FolderThatCannotBeListedAndFilesThatCannotBeLookedAtAreSkipped) {
  tree_.add("Pictures/a.jpg", randomContent(10, 1));
  tree_.add("Pictures/b.jpg", randomContent(10, 2));
  tree_.add("Pictures/c.jpg", randomContent(10, 3));
  tree_.add("Pictures/closed/d.jpg", randomContent(10, 4));
  auto faulty =
      std::make_shared<FaultyFileIOService>(std::make_shared<FileIOService>(temp_.path() + "/tmp"));
  services(faulty);
  // This listing reads no attributes, so the scan looks at each entry once, in name order.
  faulty->failListing("closed", EACCES);
  faulty->failNth(FaultyFileIOService::Operation::attributesOfItem, 1,
                  posixError("stat a.jpg", ENOENT));
  faulty->failNth(FaultyFileIOService::Operation::attributesOfItem, 2,
                  makeError(BackupSDKError::fileIOFailedToReadFile, "stat b.jpg"));

  const MediaScan scan = scanned(services_.images);
  EXPECT_THAT(ids(scan.items), ElementsAre("c.jpg"));
  EXPECT_THAT(skips(scan, temp_.path() + "/home", SkippedItem::Category::images),
              ElementsAre("Pictures/a.jpg: vanished", "Pictures/b.jpg: unreadable file",
                          "Pictures/closed: unreadable folder"));
}

TEST_F(MediaDiscoveryTest, UnreadableSubfolderIsSkippedAndTheScanGoesOn) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  tree_.add("Pictures/open/a.jpg", randomContent(10, 1));
  tree_.add("Pictures/closed/b.jpg", randomContent(10, 2));
  ::chmod(tree_.path("Pictures/closed").c_str(), 0);
  const MediaScan scan = scanned(services().images);
  ::chmod(tree_.path("Pictures/closed").c_str(), 0700);
  EXPECT_THAT(ids(scan.items), ElementsAre("open/a.jpg"));
  EXPECT_THAT(skips(scan, temp_.path() + "/home", SkippedItem::Category::images),
              ElementsAre("Pictures/closed: unreadable folder"));
}

TEST_F(MediaDiscoveryTest, PhotoLibrarySkipsCountInTheCategoryOfTheirExtensionOnly) {
  tree_.add("Pictures/Lib.photoslibrary/originals/i\xff.jpg", randomContent(10, 1));
  tree_.add("Pictures/Lib.photoslibrary/originals/m\xff.mov", randomContent(10, 2));
  tree_.add("Pictures/Lib.photoslibrary/originals/n\xff.txt", randomContent(10, 3));
  tree_.add("Pictures/Lib.photoslibrary/resources/t\xff.jpg", randomContent(10, 4));
  tree_.add("Movies/v\xff.mov", randomContent(10, 5));
  const std::string home = temp_.path() + "/home";
  services();
  EXPECT_THAT(skips(scanned(services_.images), home, SkippedItem::Category::images),
              ElementsAre("Pictures/Lib.photoslibrary/originals/i\xff.jpg: not UTF-8"));
  EXPECT_THAT(skips(scanned(services_.videos), home, SkippedItem::Category::videos),
              ElementsAre("Movies/v\xff.mov: not UTF-8",
                          "Pictures/Lib.photoslibrary/originals/m\xff.mov: not UTF-8"));
}

TEST_F(MediaDiscoveryTest, ArchivesPackTheFirstReadablePathUnderItsFingerprint) {
  const std::string film = randomContent(600, 1);
  tree_.add("Pictures/Lib.photoslibrary/originals/m.mov", film);
  tree_.add("Movies/real.jpg", randomContent(10, 2));
  services();
  const std::string archive = temp_.path() + "/out.zip";
  auto zip = services_.zip->generateZip(archive);
  // A library file: found under the picture folder although it is a video.
  MediaItem movie("mov", 600, "Lib.photoslibrary/originals/m.mov", Date{},
                  wholeContentFingerprint(film), {"Lib.photoslibrary/originals/m.mov"});
  EXPECT_THAT(awaitResult(services_.videoService->appendItemFileToBackup(zip, movie, false)),
              SucceedsWith(Void{}));
  MediaItem other("jpg", 10, "real.jpg", Date{}, "1.1_f", {"missing.jpg", "real.jpg"});
  EXPECT_THAT(awaitResult(services_.videoService->appendItemFileToBackup(zip, other, false)),
              SucceedsWith(Void{}));
  ASSERT_TRUE(services_.zip->append(zip, tree_.path("Movies/real.jpg"), "last", true).ok());
  EXPECT_THAT(zipEntries(archive), ElementsAre("videos/" + wholeContentFingerprint(film) + ".mov",
                                               "videos/1.1_f.jpg", "last"));
  // Each packed item carries the checksum of the file it was packed from.
  EXPECT_EQ(
      movie.checksum,
      ContentChecksum::ofFile(tree_.path("Pictures/Lib.photoslibrary/originals/m.mov")).value());
  EXPECT_EQ(other.checksum, ContentChecksum::ofFile(tree_.path("Movies/real.jpg")).value());
}

TEST_F(MediaDiscoveryTest, ItemWithoutAReadableRegularFileCannotBePacked) {
  tree_.add("outside/secret.jpg", randomContent(10, 1));
  tree_.link("Pictures/link.jpg", tree_.path("outside/secret.jpg"));
  services();
  auto zip = services_.zip->generateZip(temp_.path() + "/out.zip");
  MediaItem item("jpg", 10, "link.jpg", Date{}, "1.1_f", {"missing.jpg", "link.jpg"});
  EXPECT_THAT(awaitResult(services_.imageService->appendItemFileToBackup(zip, item, false)),
              FailsWith(BackupSDKError::mediaNoVideoData));
  // A file whose size is no longer the scanned one is not the content the item describes.
  tree_.add("Pictures/changed.jpg", randomContent(12, 2));
  MediaItem changed("jpg", 10, "changed.jpg", Date{}, "1.1_c", {"changed.jpg"});
  EXPECT_THAT(awaitResult(services_.imageService->appendItemFileToBackup(zip, changed, false)),
              FailsWith(BackupSDKError::zipAppendFailed));
  EXPECT_EQ(changed.checksum, std::nullopt);
  // Nor is one modified since the scan at the same size: its fingerprint, read in between, may
  // describe other bytes. A repair's item is dated as the record has it, so its file is not held
  // to that date.
  tree_.add("Pictures/edited.jpg", randomContent(10, 3));
  MediaItem edited("jpg", 10, "edited.jpg",
                   tree_.modified("Pictures/edited.jpg") - std::chrono::milliseconds(1), "1.1_e",
                   {"edited.jpg"});
  EXPECT_THAT(awaitResult(services_.imageService->appendItemFileToBackup(zip, edited, true)),
              FailsWith(BackupSDKError::zipAppendFailed));
  EXPECT_EQ(edited.checksum, std::nullopt);
  EXPECT_THAT(awaitResult(services_.imageService->appendItemFileToBackup(zip, edited, false)),
              SucceedsWith(Void{}));
}

std::shared_ptr<MediaItem> item(std::string id, int64_t bytes, int64_t dateMs,
                                std::string extension = "jpg") {
  return std::make_shared<MediaItem>(std::move(extension), bytes, id,
                                     Date(std::chrono::milliseconds(dateMs)), std::nullopt,
                                     std::vector<std::string>{id});
}

TEST(DuplicateCollectionTest, LaterLookalikesAreDuplicatesAndTheFirstNeverIs) {
  struct Row {
    const char* name;
    std::vector<std::shared_ptr<MediaItem>> items;
    DuplicateInfo expected;
  };
  const std::vector<Row> rows = {
      {"three copies",
       {item("a/p", 10, 5000), item("b/p", 10, 5000), item("c/p", 10, 5000)},
       {20, 2}},
      {"equal size, date and extension", {item("x", 7, 1), item("y", 7, 1)}, {7, 1}},
      {"dates a millisecond apart", {item("x", 7, 1000), item("y", 7, 1001)}, {0, 0}},
      {"other extension", {item("x", 7, 1, "jpg"), item("y", 7, 1, "png")}, {0, 0}},
      {"other size", {item("x", 7, 1), item("y", 8, 1)}, {0, 0}},
      {"nothing", {}, {0, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DuplicateCollection collection(nullptr);
    for (const auto& entry : row.items) collection.addItem(entry);
    EXPECT_EQ(collection.getDuplicateInformation(row.items), row.expected);
  }
}

}  // namespace
}  // namespace tessellon
