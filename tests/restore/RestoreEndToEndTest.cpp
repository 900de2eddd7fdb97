// The whole restore through the facade, from a backed-up home into a second, empty one.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <regex>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tessellon/BackupSDK.h"

#include "delegates/LocalFolderDelegate.h"
#include "platform/Warnings.h"
#include "sdk/FacadeHome.h"
#include "support/BackgroundQueue.h"
#include "support/FaultyDelegate.h"
#include "support/GeneratedHome.h"
#include "support/MediaTree.h"
#include "support/RecordingLogger.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::StartsWith;

using Outcome = Finished<ProcessReport>;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every regular file below `root` by relative path: a digest of its content, its mtime in seconds.
using Files = std::map<std::string, std::pair<size_t, int64_t>>;
Files filesBelow(const fs::path& root) {
  Files files;
  if (!fs::exists(root)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        entry.last_write_time().time_since_epoch());
    files[fs::relative(entry.path(), root).string()] = {
        std::hash<std::string>{}(readFile(entry.path())), seconds.count()};
  }
  return files;
}

class RestoreEndToEndTest : public ::testing::Test {
 protected:
  RestoreEndToEndTest() {
    tree_.add("Pictures/2019/beach.jpg", randomContent(3000, 1));
    tree_.add("Pictures/2019/copy of beach.jpg", randomContent(3000, 1));
    tree_.setModified("Pictures/2019/copy of beach.jpg", tree_.modified("Pictures/2019/beach.jpg"));
    tree_.add("Pictures/Grüße aus Köln.png", randomContent(5000, 2));
    tree_.add("Pictures/.hidden.gif", randomContent(700, 3));
    tree_.add("Pictures/Photos Library.photoslibrary/originals/A/IMG_1.HEIC",
              randomContent(4000, 4));
    tree_.add("Pictures/Photos Library.photoslibrary/originals/B/clip.MOV", randomContent(9000, 5));
    tree_.add("Movies/holiday.mp4", randomContent(20000, 7));
    tree_.add("Movies/2020/trip.mov", randomContent(15000, 8));
    source_.write("contacts/default/anna.vcf",
                  "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:anna\r\nN:Berg;Anna;;;\r\nFN:Anna Berg\r\n"
                  "TEL;TYPE=CELL:+49 170 1234567\r\nEMAIL;TYPE=HOME:anna@example.org\r\n"
                  "END:VCARD\r\n");
    source_.write("calendars/personal/displayname", "Personal");
    source_.write("calendars/personal/dentist.ics", dentistTomorrow());
    backUpSource();
  }
  void backUpSource(bool keepDeletedItems = false) {
    BackupSDK sdk(std::make_shared<hosts::LocalFolderDelegate>(remoteRoot_.path()), nullptr,
                  homeOptions(source_));
    const BackupSettings settings("laptop", true, true, true, true, keepDeletedItems);
    const auto backedUp =
        awaitFinished<ProcessReport>([&](auto done) { sdk.startBackup(settings, nullptr, done); });
    EXPECT_FALSE(backedUp.error);
  }
  ~RestoreEndToEndTest() override {
    target_.reset();
    EXPECT_TRUE(flushBackgroundQueue());
  }

  // The facade over the second home; made on first use so tests can prepare the home first.
  BackupSDK& target() {
    if (!target_) target_ = std::make_unique<BackupSDK>(remote_, logger_, homeOptions(home_));
    return *target_;
  }

  Outcome restore(Settings settings = Settings(true, true, true, true),
                  std::function<void(const FileStatus&)> progress = nullptr) {
    auto backup = onlyBackupOf(target());
    if (!backup) return {};
    return awaitFinished<ProcessReport>(
        [&](auto done) { target().startRestore(backup, settings, std::move(progress), done); });
  }

  // The user's folders of the second home (not the library's own).
  Files userFiles() const {
    Files files;
    for (const char* folder : {"Pictures", "Movies", "contacts", "calendars"}) {
      for (auto& [path, file] : filesBelow(home_.file(folder))) {
        files[std::string(folder) + "/" + path] = file;
      }
    }
    return files;
  }

  std::string deviceFolder() const {
    for (const auto& entry : fs::directory_iterator(remoteRoot_.path())) {
      if (entry.is_directory()) return entry.path().string();
    }
    return "";
  }

  TempDir source_;
  TempDir home_;
  TempDir remoteRoot_;
  TempDir downloads_;
  MediaTree tree_{source_.path(), {}};
  std::shared_ptr<FaultyDelegate> remote_ =
      std::make_shared<FaultyDelegate>(std::make_shared<hosts::LocalFolderDelegate>(
          remoteRoot_.path(), hosts::LocalFolderDelegate::kDefaultZipSize, std::nullopt,
          downloads_.path()));
  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
  std::unique_ptr<BackupSDK> target_;
};

// A user's file at a restored path is kept, the restored one numbered beside it: the simulator's
// restores (and RestorePlacementTest for the names).
TEST_F(RestoreEndToEndTest, RestoringAgainDownloadsOnlyTheListsAndAddsNothing) {
  ASSERT_FALSE(restore().error);
  // Counted as restored only once on disk: one flush of the picture folder, after both media
  // categories have ended.
  EXPECT_EQ(logger_->count(LogLevel::info,
                           "Image files restored to " + home_.file("Pictures") + " are on disk"),
            1U);
  const auto first = userFiles();
  const int downloads = remote_->calls("downloadFile");
  const Outcome again = restore();
  ASSERT_FALSE(again.error) << describe(*again.error);
  ASSERT_TRUE(again.value && again.value->images);
  EXPECT_EQ(again.value->images->success, 4);
  // Only the list documents cross again; no media file, no second card or calendar, no copy.
  EXPECT_LE(remote_->calls("downloadFile") - downloads, 5);
  EXPECT_EQ(userFiles(), first);
}

// A fingerprint samples three 8 KiB windows of a large file: a file here that differs from the
// backup only outside them is not the backed-up file, which comes back beside it.
// With "backup.json" gone, the record is rebuilt from the source computer; what only the lost
// record kept is kept too, and comes back under "Recovered" by its stored name.
TEST_F(RestoreEndToEndTest, AFileOnlyALostRecordKeptIsRestoredUnderRecovered) {
  const std::string gif = randomContent(700, 3);
  fs::remove(source_.file("Pictures/.hidden.gif"));
  backUpSource(/*keepDeletedItems=*/true);
  fs::remove(deviceFolder() + "/backup.json");
  backUpSource(/*keepDeletedItems=*/true);  // rebuilds the record
  backUpSource(/*keepDeletedItems=*/true);  // cleans up after the rebuilt one
  ASSERT_TRUE(flushBackgroundQueue());

  const Outcome restored = restore();
  ASSERT_TRUE(restored.value);
  EXPECT_EQ(restored.value->images->failed, 0);
  std::vector<std::string> recovered;
  for (const auto& entry : fs::directory_iterator(home_.file("Pictures/Recovered"))) {
    if (readFile(entry.path()) == gif) recovered.push_back(entry.path().filename());
  }
  EXPECT_THAT(recovered, ElementsAre(::testing::AllOf(StartsWith("1.1_"), EndsWith(".gif"))));
}

TEST_F(RestoreEndToEndTest, AFileHereThatDiffersOnlyOutsideTheSampledWindowsIsNotTakenForIt) {
  const std::string scan = randomContent(100000, 77);
  tree_.add("Pictures/scan.jpg", scan);
  backUpSource();
  std::string edited = scan;
  edited[20000] = static_cast<char>(edited[20000] ^ 0x55);
  home_.write("Pictures/scan.jpg", edited);

  ASSERT_FALSE(restore().error);
  EXPECT_TRUE(readFile(home_.file("Pictures/scan.jpg")) == edited);
  int copies = 0;
  for (const auto& entry : fs::directory_iterator(home_.file("Pictures"))) {
    if (entry.is_regular_file() && readFile(entry.path()) == scan) ++copies;
  }
  EXPECT_EQ(copies, 1);
}

TEST_F(RestoreEndToEndTest, ACorruptImageListFailsOnlyThatCategoryAndAMissingFileOnlyItsItem) {
  std::ofstream(deviceFolder() + "/images.json") << "{\"items\": [ {\"fileExt";
  fs::remove(fs::directory_iterator(deviceFolder() + "/videos")->path());
  const int downloads = remote_->calls("downloadFile");
  const Outcome restored = restore();
  ASSERT_FALSE(restored.error) << describe(*restored.error);
  ASSERT_TRUE(restored.value && restored.value->images && restored.value->videos &&
              restored.value->contacts);
  EXPECT_EQ(restored.value->images->success, 0);
  EXPECT_EQ(restored.value->images->failed, 4);
  EXPECT_EQ(restored.value->videos->success, 2);
  EXPECT_EQ(restored.value->videos->failed, 1);
  EXPECT_EQ(restored.value->contacts->success, 1);
  const std::string device = fs::path(deviceFolder()).filename().string();
  EXPECT_THAT(
      restored.value->images->failedItems,
      ElementsAre(FailedItem{device + "/images", "the list of what it holds could not be read"}));
  ASSERT_EQ(restored.value->videos->failedItems.size(), 1u);
  EXPECT_THAT(restored.value->videos->failedItems[0].path,
              ::testing::AnyOf("holiday.mp4", "2020/trip.mov", ::testing::EndsWith("clip.MOV")));
  // The listing's record, four list documents and the three videos (one missing); no image.
  EXPECT_EQ(remote_->calls("downloadFile") - downloads, 1 + 4 + 3);
  EXPECT_FALSE(fs::exists(home_.file("Pictures/2019")));
}

// A record may claim any number of items: without their list, the claim is reported, and nothing
// is allocated for each claimed item (two hundred million of them once took 20 GB).
TEST_F(RestoreEndToEndTest, AnEmptyAddressBookRestoresWithNothingFailed) {
  fs::remove(source_.file("contacts/default/anna.vcf"));
  backUpSource();
  const Outcome restored = restore();
  ASSERT_FALSE(restored.error) << describe(*restored.error);
  ASSERT_TRUE(restored.value && restored.value->contacts);
  EXPECT_EQ(restored.value->contacts->failed, 0);
  EXPECT_THAT(restored.value->contacts->failedItems, ::testing::IsEmpty());
}

TEST_F(RestoreEndToEndTest, ACardHereThatCannotBeReadIsReportedAsSkipped) {
  // It may be the backed-up card, which is then there twice: the user must hear of it.
  const std::string broken = home_.write("contacts/default/broken.vcf", "BEGIN:VCARD\r\nN:Berg");
  const Outcome restored = restore();
  ASSERT_FALSE(restored.error) << describe(*restored.error);
  ASSERT_TRUE(restored.value && restored.value->contacts);
  EXPECT_THAT(restored.value->contacts->skippedPaths, ::testing::ElementsAre(broken));
}

TEST_F(RestoreEndToEndTest, AMissingListOfAnyClaimedLengthFailsItsCountWithoutAnItemEach) {
  const std::string record = deviceFolder() + "/backup.json";
  const std::string text = readFile(record);
  const std::regex images(R"(("imagesMetaData":\{"bytes":)\d+(,"count":)\d+)");
  ASSERT_TRUE(std::regex_search(text, images));
  std::ofstream(record, std::ios::trunc)
      << std::regex_replace(text, images, "$01900000000000$02200000000");
  fs::remove(deviceFolder() + "/images.json");

  const Outcome restored = restore(Settings(false, false, false, true));
  ASSERT_FALSE(restored.error) << describe(*restored.error);
  ASSERT_TRUE(restored.value && restored.value->images);
  EXPECT_EQ(restored.value->images->success, 0);
  EXPECT_EQ(restored.value->images->failed, 200000000);
  EXPECT_FALSE(fs::exists(home_.file("Pictures/2019")));
}

// A stored photo that lost its tail and one with a flipped byte (same size, so only the checksum
// can tell): each fails alone with a warning naming it, and nothing of theirs lands anywhere.
TEST_F(RestoreEndToEndTest, DamagedStoredPhotosFailAloneAndLandNowhere) {
  const std::string stored = deviceFolder() + "/images";
  std::string truncated, flipped;
  for (const auto& entry : fs::directory_iterator(stored)) {
    if (entry.file_size() == 3000) truncated = entry.path().filename().string();  // the beach
    if (entry.file_size() == 5000) flipped = entry.path().filename().string();    // Grüße
  }
  ASSERT_FALSE(truncated.empty() || flipped.empty());
  fs::resize_file(stored + "/" + truncated, 1000);
  std::string content = readFile(stored + "/" + flipped);
  content[2500] = static_cast<char>(content[2500] ^ 0x20);
  std::ofstream(stored + "/" + flipped, std::ios::binary | std::ios::trunc) << content;

  const Outcome restored = restore(Settings(false, false, false, true));
  ASSERT_FALSE(restored.error) << describe(*restored.error);
  ASSERT_TRUE(restored.value && restored.value->images);
  EXPECT_EQ(restored.value->images->success, 2);
  EXPECT_EQ(restored.value->images->failed, 2);
  for (const std::string& name : {truncated, flipped}) {
    EXPECT_EQ(warningsContaining(*logger_, name), 1u) << name;
  }
  // The intact ones are in place; of the damaged ones, nothing is, nor is any download left.
  const Files before = filesBelow(source_.file("Pictures"));
  const Files placed = filesBelow(home_.file("Pictures"));
  std::vector<std::string> paths;
  for (const auto& [path, file] : placed) paths.push_back(path);
  ASSERT_THAT(paths, ElementsAre(".hidden.gif", AllOf(StartsWith("Restore_"),
                                                      EndsWith("/PhotosLibrary/IMG_1.HEIC"))));
  EXPECT_EQ(placed.at(".hidden.gif"), before.at(".hidden.gif"));
  EXPECT_EQ(placed.at(paths[1]).first,
            before.at("Photos Library.photoslibrary/originals/A/IMG_1.HEIC").first);
  EXPECT_TRUE(fs::is_empty(downloads_.path()));
}

TEST_F(RestoreEndToEndTest, ACancelledRestoreCompletesWithNothing) {
  std::atomic<bool> cancelled{false};
  const Outcome outcome =
      restore(Settings(false, false, true, true), [&](const FileStatus& status) {
        if (status.processed > 0 && !cancelled.exchange(true)) target().cancel(nullptr);
      });
  EXPECT_TRUE(cancelled);
  EXPECT_FALSE(outcome.value);
  EXPECT_FALSE(outcome.error);
}

}  // namespace
}  // namespace tessellon
