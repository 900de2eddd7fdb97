// The whole backup through the facade: a generated home backed up to the folder-backed remote.

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <set>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tessellon/BackupSDK.h"
#include "tessellon/ForwardingDelegate.h"

#include "delegates/LocalFolderDelegate.h"
#include "model/BackupRecord.h"
#include "sdk/FacadeHome.h"
#include "support/ArchiveKeepingDelegate.h"
#include "support/BackgroundQueue.h"
#include "support/GeneratedHome.h"
#include "support/MediaTree.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::IsSupersetOf;
using ::testing::Not;

using Outcome = Finished<ProcessReport>;

// The folder remote with a hook before each upload: a test fails it or cancels the run there.
class UploadHook final : public ForwardingDelegate {
 public:
  using ForwardingDelegate::ForwardingDelegate;
  // Called with the 1-based number of the upload; an error is that upload's answer.
  std::function<std::optional<Error>(int)> beforeUpload;
  int64_t zipSize = 0;  // the remote's own when 0
  bool streams = true;  // false: readFile answers as a host that cannot stream

  std::shared_ptr<CancellationDelegate> readFile(
      const std::string& relativeRemotePath,
      std::function<bool(const char* data, size_t size)> consume,
      std::function<void(std::optional<BackupSDKError>)> completion) override {
    if (!streams) return nullptr;
    return ForwardingDelegate::readFile(relativeRemotePath, std::move(consume),
                                        std::move(completion));
  }

  int64_t getZipSize() override { return zipSize > 0 ? zipSize : ForwardingDelegate::getZipSize(); }

  std::shared_ptr<CancellationDelegate> uploadFile(
      const std::string& localPath, const std::string& relativeRemotePath,
      std::function<void(const TransferProgress&)> progress,
      std::function<void(std::optional<Error>)> completion) override {
    if (beforeUpload) {
      if (std::optional<Error> error = beforeUpload(++uploads_)) {
        completion(error);
        return nullptr;
      }
    }
    return ForwardingDelegate::uploadFile(localPath, relativeRemotePath, std::move(progress),
                                          std::move(completion));
  }

 private:
  std::atomic<int> uploads_{0};
};

class BackupEndToEndTest : public ::testing::Test {
 protected:
  BackupEndToEndTest() {
    tree_.add("Pictures/2019/beach.jpg", randomContent(3000, 1));
    tree_.add("Pictures/2019/copy of beach.jpg", randomContent(3000, 1));
    tree_.add("Pictures/Grüße aus Köln.png", randomContent(5000, 2));
    tree_.add("Pictures/.hidden.gif", randomContent(700, 3));
    tree_.add("Pictures/Photos Library.photoslibrary/originals/A/IMG_1.HEIC",
              randomContent(4000, 4));
    tree_.add("Pictures/Photos Library.photoslibrary/originals/B/clip.MOV", randomContent(9000, 5));
    tree_.add("Pictures/Photos Library.photoslibrary/resources/thumb.jpg", randomContent(100, 6));
    tree_.add("Movies/holiday.mp4", randomContent(20000, 7));
    home_.write("contacts/default/anna.vcf",
                "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:anna\r\nN:Berg;Anna;;;\r\nFN:Anna Berg\r\n"
                "TEL;TYPE=CELL:+49 170 1234567\r\nEND:VCARD\r\n");
    home_.write("calendars/personal/displayname", "Personal");
    home_.write("calendars/personal/dentist.ics", dentistTomorrow());

    sdk_ = std::make_unique<BackupSDK>(remote_, nullptr, homeOptions(home_));
  }
  ~BackupEndToEndTest() override {
    sdk_.reset();
    EXPECT_TRUE(flushBackgroundQueue());
  }

  Outcome backup(bool keepDeletedItems = false) {
    return awaitFinished<ProcessReport>([&](auto done) {
      sdk_->startBackup(BackupSettings("laptop", true, true, true, true, keepDeletedItems), nullptr,
                        done);
    });
  }

  // The one device folder on the remote.
  std::string device() const {
    for (const auto& entry : fs::directory_iterator(remoteRoot_.path())) {
      if (entry.is_directory()) return entry.path().string();
    }
    return "";
  }
  Json document(const std::string& name) const {
    return Json::parse(remoteRoot_.read(device() + "/" + name));
  }
  std::set<std::string> storedMediaFiles(const std::string& folder) const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(device() + "/" + folder)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }
  // Remote names of the items a document references.
  std::set<std::string> referenced(const std::string& document) const {
    std::set<std::string> names;
    const Json stored = this->document(document);
    for (const auto& item : stored.value("items", Json::array())) {
      std::string name = item.at("fingerprint");
      if (!item.at("fileExtension").get<std::string>().empty()) {
        name += "." + item.at("fileExtension").get<std::string>();
      }
      names.insert(name);
    }
    return names;
  }
  // Media entries of the archives uploaded since `first` (0-based).
  std::vector<std::string> uploadedMedia(size_t first) const {
    std::vector<std::string> media;
    const auto archives = remote_->archives();
    for (size_t i = first; i < archives.size(); ++i) {
      for (const std::string& entry : zipEntries(archives[i])) {
        if (entry.starts_with("images/") || entry.starts_with("videos/")) media.push_back(entry);
      }
    }
    return media;
  }
  // The clean-up runs after the completion: wait until the folder matches.
  bool eventually(const std::function<bool()>& condition) const {
    for (int i = 0; i < 200 && !condition(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return condition();
  }

  // Every file the stored record names is on the remote with the recorded size.
  void expectRecordHeld() const {
    const Json record = document("backup.json");
    for (const char* category : {"images", "videos"}) {
      const std::string name = std::string(category) + ".json";
      if (!fs::exists(device() + "/" + name)) continue;
      for (const auto& item : document(name).value("items", Json::array())) {
        std::string file = item.at("fingerprint");
        if (!item.at("fileExtension").get<std::string>().empty()) {
          file += "." + item.at("fileExtension").get<std::string>();
        }
        const std::string path = device() + "/" + category + "/" + file;
        ASSERT_TRUE(fs::exists(path)) << path << " is recorded but not stored";
        EXPECT_EQ(static_cast<int64_t>(fs::file_size(path)), item.at("bytes").get<int64_t>());
      }
    }
    for (const char* name : {"contacts.json", "calendars.json"}) {
      const std::string key =
          name == std::string("contacts.json") ? "contactsMetaData" : "calendarsMetaData";
      if (record.contains(key) && !record.at(key).is_null()) {
        EXPECT_TRUE(fs::exists(device() + "/" + name)) << "backup.json claims " << name;
      }
    }
  }
  // The fingerprint of the stored file that holds `content`'s bytes.
  std::string storedNameOf(const std::string& folder, const std::string& content) const {
    for (const auto& entry : fs::directory_iterator(device() + "/" + folder)) {
      if (remoteRoot_.read(entry.path().string()) == content) return entry.path().filename();
    }
    return "";
  }

  TempDir home_;
  TempDir remoteRoot_;
  TempDir archives_;
  MediaTree tree_{home_.path(), {}};
  std::shared_ptr<UploadHook> hook_ = std::make_shared<UploadHook>(
      std::make_shared<hosts::LocalFolderDelegate>(remoteRoot_.path()));
  std::shared_ptr<ArchiveKeepingDelegate> remote_ =
      std::make_shared<ArchiveKeepingDelegate>(hook_, archives_.path());
  std::unique_ptr<BackupSDK> sdk_;
};

TEST_F(BackupEndToEndTest, FirstBackupStoresEverythingAndTheSecondUploadsNoMedia) {
  const Outcome first = backup();
  ASSERT_FALSE(first.error) << describe(*first.error);
  ASSERT_TRUE(first.value);
  EXPECT_EQ(first.value->contacts->success, 1);
  EXPECT_EQ(first.value->calendars->success, 1);
  EXPECT_EQ(first.value->images->failed, 0);
  EXPECT_EQ(first.value->videos->failed, 0);

  for (const char* name :
       {"backup.json", "contacts.json", "calendars.json", "images.json", "videos.json"}) {
    EXPECT_TRUE(fs::exists(device() + "/" + name)) << name;
  }
  // The copy of the beach photo is stored once; the bundle's resources never.
  EXPECT_EQ(storedMediaFiles("images").size(), 4u);
  EXPECT_EQ(storedMediaFiles("images"), referenced("images.json"));
  EXPECT_EQ(storedMediaFiles("videos"), referenced("videos.json"));
  EXPECT_EQ(storedMediaFiles("videos").size(), 2u);
  EXPECT_EQ(document("contacts.json").at("count"), 1);

  const auto archives = remote_->archives();
  ASSERT_FALSE(archives.empty());
  for (const auto& archive : archives) {
    const auto entries = zipEntries(archive);  // tested by unzip -t first
    EXPECT_EQ(entries.empty() ? "" : entries.back(), "backup.json") << archive;
  }

  const size_t before = remote_->archives().size();
  const Outcome second = backup();
  ASSERT_FALSE(second.error);
  EXPECT_THAT(uploadedMedia(before), IsEmpty());
  // Nor are the media documents written again when they would read the same.
  for (size_t i = before; i < remote_->archives().size(); ++i) {
    const auto entries = zipEntries(remote_->archives()[i]);
    EXPECT_THAT(entries, AllOf(Not(Contains("images.json")), Not(Contains("videos.json"))));
  }

  const auto stored = onlyBackupOf(*sdk_);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->deviceID, fs::path(device()).filename().string());
  EXPECT_TRUE(stored->finishDate.has_value());
}

TEST_F(BackupEndToEndTest, MovedPhotosAreNotUploadedAgainAndDeletedOnesFollowTheSetting) {
  ASSERT_FALSE(backup().error);
  fs::create_directories(home_.file("Pictures/moved"));
  fs::rename(home_.file("Pictures/2019/beach.jpg"), home_.file("Pictures/moved/beach.jpg"));
  fs::remove(home_.file("Pictures/.hidden.gif"));
  const std::set<std::string> beforeDeletion = storedMediaFiles("images");

  size_t before = remote_->archives().size();
  ASSERT_FALSE(backup(/*keepDeletedItems=*/true).error);
  EXPECT_THAT(uploadedMedia(before), IsEmpty());
  std::vector<std::string> paths;
  const Json images = document("images.json");
  for (const auto& item : images.at("items")) {
    for (const auto& path : item.at("pathDictionary").at("macOSPaths")) paths.push_back(path);
  }
  EXPECT_THAT(paths, Contains("moved/beach.jpg"));
  EXPECT_THAT(paths, Contains(".hidden.gif"));  // kept although deleted
  EXPECT_EQ(storedMediaFiles("images"), beforeDeletion);

  before = remote_->archives().size();
  ASSERT_FALSE(backup(/*keepDeletedItems=*/false).error);
  EXPECT_THAT(uploadedMedia(before), IsEmpty());
  const Json kept = document("images.json");
  // Four items over three files: the copy of the beach, dated apart, is an item of its own.
  EXPECT_EQ(kept.at("count"), 4);
  for (const auto& item : kept.at("items")) {
    EXPECT_TRUE(item.contains("fingerprint")) << item.dump();
  }
  EXPECT_TRUE(eventually([&] { return storedMediaFiles("images") == referenced("images.json"); }));
  EXPECT_EQ(storedMediaFiles("images").size(), 3u);
  EXPECT_TRUE(eventually([&] {
    return !fs::exists(device() + "/" + fs::path(device()).filename().string() + ".zip");
  }));
}

// What users met: each case once broke the promise that the stored record names only files the
// remote holds, with their size. The extension-only rename and a video's bytes among the pictures
// are histories of ScriptedHistoryTest.
TEST_F(BackupEndToEndTest, ARunCancelledMidArchiveRecordsNothingOfThatArchive) {
  for (int i = 0; i < 12; ++i) {
    tree_.add("Pictures/many/p" + std::to_string(i) + ".jpg", randomContent(300000, 200 + i));
  }
  hook_->beforeUpload = [this](int upload) -> std::optional<Error> {
    // Contacts, calendars, then the second archive of images: cancelled before it crosses.
    if (upload == 4) sdk_->cancel(nullptr);
    return std::nullopt;
  };
  hook_->zipSize = 400000;  // two of the larger photos per archive
  const BackupSettings settings("laptop", true, true, true, true, false);
  const std::shared_ptr<Backup> preview =
      awaitFinished<Backup>([&](auto done) { sdk_->startPreview(settings, nullptr, done); }).value;
  ASSERT_TRUE(preview && preview->record);
  (void)awaitFinished<ProcessReport>([&](auto done) { sdk_->startBackup(preview, nullptr, done); });
  const std::shared_ptr<BackupRecord>& record = preview->record;
  hook_->beforeUpload = nullptr;

  expectRecordHeld();
  // The record the run was given claims only what reached the remote either.
  for (const auto& item :
       record->imagesMetaData ? *record->imagesMetaData->items : MediaMetaData::Items{}) {
    std::string name = item->fingerprint.value_or("");
    if (!item->fileExtension.empty()) name += "." + item->fileExtension;
    EXPECT_TRUE(fs::exists(device() + "/images/" + name)) << name;
  }
}

TEST_F(BackupEndToEndTest, APreviewIsNotRunOnceAnotherRunStoredABackup) {
  const BackupSettings settings("laptop", true, true, true, true, true);
  ASSERT_TRUE(backup(true).value);
  const std::shared_ptr<Backup> preview =
      awaitFinished<Backup>([&](auto done) { sdk_->startPreview(settings, nullptr, done); }).value;
  ASSERT_TRUE(preview);
  // Meanwhile another run stores a new picture, which is then deleted here: only the record that
  // run stored keeps it.
  tree_.add("Pictures/new.jpg", randomContent(3000, 50));
  ASSERT_TRUE(backup(true).value);
  fs::remove(tree_.path("Pictures/new.jpg"));
  const Json stored = document("images.json");

  const Outcome stale =
      awaitFinished<ProcessReport>([&](auto done) { sdk_->startBackup(preview, nullptr, done); });
  ASSERT_TRUE(stale.error);
  EXPECT_TRUE(isError(*stale.error, BackupSDKError::backupLocked)) << describe(*stale.error);
  EXPECT_EQ(document("images.json"), stored);
  expectRecordHeld();
}

// A fingerprint samples three 8 KiB windows of a large file: an edit outside them that keeps the
// size keeps the fingerprint, and the new content must still be stored, under a name of its own.
TEST_F(BackupEndToEndTest, AnEditOutsideTheSampledWindowsIsStored) {
  std::string scan = randomContent(100000, 77);
  tree_.add("Pictures/scan.jpg", scan);
  ASSERT_FALSE(backup().error);
  scan[20000] = static_cast<char>(scan[20000] ^ 0x55);
  std::ofstream(tree_.path("Pictures/scan.jpg"), std::ios::binary | std::ios::trunc) << scan;
  tree_.setModified("Pictures/scan.jpg",
                    tree_.modified("Pictures/scan.jpg") + std::chrono::seconds(60));

  ASSERT_FALSE(backup().error);
  expectRecordHeld();
  std::vector<std::string> stored;
  const Json images = document("images.json");
  for (const auto& item : images.at("items")) {
    for (const auto& paths : item.at("pathDictionary")) {
      for (const auto& path : paths) {
        if (path.get<std::string>() != "scan.jpg") continue;
        stored.push_back(remoteRoot_.read(device() + "/images/" +
                                          item.at("fingerprint").get<std::string>() + ".jpg"));
      }
    }
  }
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_TRUE(stored[0] == scan);

  // Stored under a fingerprint of its own, and gone from the remote: sent again under that name.
  const std::string file = device() + "/images/" + storedNameOf("images", scan);
  fs::remove(file);
  const Outcome repaired = backup();
  ASSERT_FALSE(repaired.error);
  EXPECT_EQ(repaired.value->images->failed, 0);
  EXPECT_TRUE(fs::exists(file) && remoteRoot_.read(file) == scan);
  expectRecordHeld();
}

// A record rebuilt from the listing knows a large file's stored bytes only by its sampled
// fingerprint: the stored file is read to tell an edit between the windows from the same content.
// The host cannot stream, so each is downloaded.
TEST_F(BackupEndToEndTest, ARebuiltRecordTakesAStoredLargeFileOnlyForItsOwnBytes) {
  hook_->streams = false;
  std::string scan = randomContent(100000, 77);
  tree_.add("Pictures/scan.jpg", scan);
  tree_.add("Pictures/kept.jpg", randomContent(90000, 78));
  ASSERT_FALSE(backup().error);
  scan[20000] = static_cast<char>(scan[20000] ^ 0x55);
  std::ofstream(tree_.path("Pictures/scan.jpg"), std::ios::binary | std::ios::trunc) << scan;
  tree_.setModified("Pictures/scan.jpg",
                    tree_.modified("Pictures/scan.jpg") + std::chrono::seconds(60));
  std::string text = remoteRoot_.read(device() + "/images.json");
  text[text.size() / 2] = '\x01';
  remoteRoot_.write(device() + "/images.json", text);

  const size_t before = remote_->archives().size();
  ASSERT_FALSE(backup().error);
  const std::vector<std::string> uploaded = uploadedMedia(before);
  ASSERT_EQ(uploaded.size(), 1u);
  EXPECT_TRUE(remoteRoot_.read(device() + "/" + uploaded[0]) == scan);
  expectRecordHeld();
  const Json images = document("images.json");
  for (const auto& item : images.at("items")) {
    if (item.at("pathDictionary").dump().find("\"scan.jpg\"") == std::string::npos) continue;
    EXPECT_TRUE(remoteRoot_.read(device() + "/images/" + item.at("fingerprint").get<std::string>() +
                                 ".jpg") == scan);
  }
}

// A preview holds no lock, so the archive a run left may be another run's on its way: only a
// backup, which holds the folder, deals with it.
TEST_F(BackupEndToEndTest, APreviewLeavesTheRemoteAsItIs) {
  ASSERT_FALSE(backup().error);
  const std::string leftOver = device() + "/" + fs::path(device()).filename().string() + ".zip";
  fs::copy_file(remote_->archives().front(), leftOver);
  fs::remove(device() + "/contacts.json");
  const auto files = [&] {
    std::map<std::string, std::uintmax_t> sizes;
    for (const auto& entry : fs::recursive_directory_iterator(device())) {
      if (entry.is_regular_file()) sizes[entry.path().string()] = entry.file_size();
    }
    return sizes;
  };
  const auto before = files();

  const BackupSettings settings("laptop", true, true, true, true, false);
  ASSERT_TRUE(
      awaitFinished<Backup>([&](auto done) { sdk_->startPreview(settings, nullptr, done); }).value);
  EXPECT_EQ(files(), before);

  ASSERT_FALSE(backup().error);
  EXPECT_TRUE(eventually([&] { return !fs::exists(leftOver); }));
}

TEST_F(BackupEndToEndTest, WhatFailedIsNamedWithItsReason) {
  hook_->beforeUpload = [](int upload) -> std::optional<Error> {
    // Contacts, calendars, then the images' one archive.
    if (upload == 1 || upload == 3)
      return Error{"NSURLErrorDomain", -1005, "the connection was lost"};
    return std::nullopt;
  };
  const Outcome first = backup();
  ASSERT_FALSE(first.error);
  const std::string document = fs::path(device()).filename().string() + "/contacts.json";
  EXPECT_THAT(first.value->contacts->failedItems,
              ElementsAre(FailedItem{document, "not sent: the connection was lost"}));
  const ReportSection& images = *first.value->images;
  EXPECT_EQ(images.success, 0);
  std::set<std::string> paths;
  for (const FailedItem& item : images.failedItems) {
    EXPECT_EQ(item.reason, "its archive did not reach the remote: the connection was lost");
    paths.insert(item.path);
  }
  EXPECT_THAT(paths, IsSupersetOf({"2019/beach.jpg", "2019/copy of beach.jpg", "Grüße aus Köln.png",
                                   ".hidden.gif"}));
  EXPECT_GE(static_cast<int>(images.failedItems.size()), images.failed);
}

// A copy with the original's date joins the stored item in the preview; that change travels only
// in the category's document, which must reach the remote even when the run's one archive fails.
TEST_F(BackupEndToEndTest, ACopyOfStoredContentIsRecordedWhenTheRunsOnlyArchiveFails) {
  ASSERT_FALSE(backup().error);
  const std::string original = home_.file("Pictures/Grüße aus Köln.png");
  fs::copy_file(original, home_.file("Pictures/again.png"));
  fs::last_write_time(home_.file("Pictures/again.png"), fs::last_write_time(original));
  std::ofstream(home_.file("Pictures/new.jpg"), std::ios::binary) << randomContent(4000, 50);
  hook_->beforeUpload = [](int upload) -> std::optional<Error> {
    // Contacts, calendars, then the images' archive.
    if (upload == 3) return Error{"NSURLErrorDomain", -1005, "the connection was lost"};
    return std::nullopt;
  };
  const Outcome run = backup();
  ASSERT_FALSE(run.error);
  ASSERT_EQ(run.value->images->failedItems.size(), 1u);
  EXPECT_EQ(run.value->images->failedItems[0].path, "new.jpg");
  expectRecordHeld();
  const Json stored = document("images.json");
  std::set<std::string> paths;
  for (const auto& item : stored.at("items")) {
    for (const auto& path : item.at("pathDictionary").at("macOSPaths")) paths.insert(path);
  }
  EXPECT_THAT(paths, Contains("again.png"));
  EXPECT_THAT(paths, Not(Contains("new.jpg")));
}

TEST_F(BackupEndToEndTest, ADamagedRecordIsRebuiltWithoutUploadingStoredFiles) {
  ASSERT_FALSE(backup().error);
  for (const char* name : {"backup.json", "images.json"}) {
    std::string text = remoteRoot_.read(device() + "/" + name);
    text[text.size() / 2] = '\x01';
    remoteRoot_.write(device() + "/" + name, text);
    const std::set<std::string> stored = storedMediaFiles("images");

    const size_t before = remote_->archives().size();
    const Outcome rebuilt = backup();
    ASSERT_FALSE(rebuilt.error) << name << ": " << describe(*rebuilt.error);
    EXPECT_THAT(uploadedMedia(before), IsEmpty()) << name;
    EXPECT_EQ(referenced("images.json"), stored) << name;
    expectRecordHeld();
  }
}

// Deleted items kept: a stored file no record names is all that is left of an item only when the
// document of its own category was lost.
TEST_F(BackupEndToEndTest, OnlyTheCategoryWhoseDocumentWasLostRecoversFilesItDoesNotName) {
  ASSERT_FALSE(backup(/*keepDeletedItems=*/true).error);
  const std::string orphan = "1.1_0123456789abcdef0123456789abcdef.jpg";
  remoteRoot_.write(device() + "/images/" + orphan, "left by a run whose record never landed");
  for (const char* lost : {"contacts.json", "videos.json", "images.json"}) {
    std::string text = remoteRoot_.read(device() + "/" + lost);
    text[text.size() / 2] = '\x01';
    remoteRoot_.write(device() + "/" + lost, text);
    ASSERT_FALSE(backup(/*keepDeletedItems=*/true).error) << lost;
    EXPECT_EQ(referenced("images.json").count(orphan), lost == std::string("images.json") ? 1u : 0u)
        << lost;
    expectRecordHeld();
  }
}

TEST_F(BackupEndToEndTest, AStoredFileThatWentMissingIsUploadedAgainOrReportedLost) {
  ASSERT_FALSE(backup().error);
  const std::string png = randomContent(5000, 2);
  const std::string gif = randomContent(700, 3);
  fs::remove(device() + "/images/" + storedNameOf("images", png));
  fs::remove(device() + "/images/" + storedNameOf("images", gif));
  fs::remove(home_.file("Pictures/.hidden.gif"));

  const Outcome repaired = backup(/*keepDeletedItems=*/true);
  ASSERT_FALSE(repaired.error);
  EXPECT_EQ(repaired.value->images->failed, 1);  // the gif: gone from both sides
  ASSERT_EQ(repaired.value->images->failedItems.size(), 1u);
  EXPECT_EQ(repaired.value->images->failedItems[0].path, ".hidden.gif");
  EXPECT_THAT(repaired.value->images->failedItems[0].reason,
              ::testing::StartsWith("gone from the remote and unreadable here: "));
  EXPECT_FALSE(storedNameOf("images", png).empty());
  expectRecordHeld();
  EXPECT_EQ(referenced("images.json").size(), 3u);
}

TEST_F(BackupEndToEndTest, AStoredFileOfAnotherSizeIsUploadedAgainOrKeptAndReported) {
  ASSERT_FALSE(backup().error);
  const std::string png = device() + "/images/" + storedNameOf("images", randomContent(5000, 2));
  const std::string gif = device() + "/images/" + storedNameOf("images", randomContent(700, 3));
  fs::resize_file(png, 10);
  fs::resize_file(gif, 10);
  fs::remove(home_.file("Pictures/.hidden.gif"));

  const Outcome repaired = backup(/*keepDeletedItems=*/true);
  ASSERT_FALSE(repaired.error);
  EXPECT_EQ(fs::file_size(png), 5000u);
  // The gif's damaged file is all that is left of it: it stays, recorded, and is named.
  EXPECT_EQ(fs::file_size(gif), 10u);
  EXPECT_EQ(referenced("images.json").size(), 4u);
  EXPECT_EQ(repaired.value->images->failed, 1);
  ASSERT_EQ(repaired.value->images->failedItems.size(), 1u);
  EXPECT_EQ(repaired.value->images->failedItems[0].path, ".hidden.gif");
  EXPECT_THAT(repaired.value->images->failedItems[0].reason,
              ::testing::HasSubstr("it stays recorded"));
}

TEST_F(BackupEndToEndTest, TheCleanUpIsOverWhenTheRunCompletes) {
  ASSERT_FALSE(backup().error);
  fs::remove(home_.file("Pictures/.hidden.gif"));
  ASSERT_FALSE(backup(/*keepDeletedItems=*/false).error);
  // No waiting: a clean-up still running here could meet the next run half way.
  EXPECT_EQ(storedMediaFiles("images"), referenced("images.json"));
  EXPECT_FALSE(fs::exists(device() + "/" + fs::path(device()).filename().string() + ".zip"));
}

}  // namespace
}  // namespace tessellon
