// The whole backup through the facade: a generated home backed up to the folder-backed remote.

#include <filesystem>
#include <future>
#include <set>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tessellon/BackupSDK.h"

#include "delegates/LocalFolderDelegate.h"
#include "support/ArchiveKeepingDelegate.h"
#include "support/BackgroundQueue.h"
#include "support/GeneratedHome.h"
#include "support/MediaTree.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using ::testing::Contains;
using ::testing::IsEmpty;

struct Outcome {
  std::shared_ptr<ProcessReport> report;
  std::optional<Error> error;
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
    return backup(BackupSettings("laptop", true, true, true, true, keepDeletedItems), nullptr);
  }
  Outcome backup(const BackupSettings& settings, std::function<void(const FileStatus&)> progress) {
    std::promise<Outcome> done;
    sdk_->startBackup(settings, std::move(progress),
                      [&](std::shared_ptr<ProcessReport> report, std::optional<Error> error) {
                        done.set_value({std::move(report), std::move(error)});
                      });
    auto future = done.get_future();
    EXPECT_EQ(future.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    return future.get();
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

  TempDir home_;
  TempDir remoteRoot_;
  TempDir archives_;
  MediaTree tree_{home_.path(), {}};
  std::shared_ptr<ArchiveKeepingDelegate> remote_ = std::make_shared<ArchiveKeepingDelegate>(
      std::make_shared<hosts::LocalFolderDelegate>(remoteRoot_.path()), archives_.path());
  std::unique_ptr<BackupSDK> sdk_;
};

TEST_F(BackupEndToEndTest, FirstBackupStoresEverythingAndTheSecondUploadsNoMedia) {
  const Outcome first = backup();
  ASSERT_FALSE(first.error) << describe(*first.error);
  ASSERT_TRUE(first.report);
  EXPECT_EQ(first.report->contacts->success, 1);
  EXPECT_EQ(first.report->calendars->success, 1);
  EXPECT_EQ(first.report->images->failed, 0);
  EXPECT_EQ(first.report->videos->failed, 0);

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

  std::promise<std::vector<std::shared_ptr<Backup>>> listed;
  sdk_->getAvailableBackups([&](auto backups, auto) {
    listed.set_value(backups.value_or(std::vector<std::shared_ptr<Backup>>{}));
  });
  auto backups = listed.get_future().get();
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_EQ(backups[0]->deviceID, fs::path(device()).filename().string());
  EXPECT_TRUE(backups[0]->finishDate.has_value());
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
  EXPECT_EQ(kept.at("count"), 3);
  for (const auto& item : kept.at("items")) {
    EXPECT_TRUE(item.contains("fingerprint")) << item.dump();
  }
  EXPECT_TRUE(eventually([&] { return storedMediaFiles("images") == referenced("images.json"); }));
  EXPECT_EQ(storedMediaFiles("images").size(), 3u);
  EXPECT_TRUE(eventually([&] {
    return !fs::exists(device() + "/" + fs::path(device()).filename().string() + ".zip");
  }));
}

TEST_F(BackupEndToEndTest, ACancelledRunEndsWithNothingAndTheNextOneIsConsistent) {
  for (int i = 0; i < 40; ++i) {
    tree_.add("Pictures/many/p" + std::to_string(i) + ".jpg", randomContent(200000, 100 + i));
  }
  std::atomic<bool> cancelled{false};
  const Outcome outcome =
      backup(BackupSettings("laptop", false, false, false, true, false), [&](const FileStatus& s) {
        if (s.processed > 0 && !cancelled.exchange(true)) sdk_->cancel(nullptr);
      });
  EXPECT_FALSE(outcome.report);
  EXPECT_FALSE(outcome.error);

  const Outcome next = backup();
  ASSERT_FALSE(next.error) << describe(*next.error);
  for (const auto& name : referenced("images.json")) {
    EXPECT_TRUE(fs::exists(device() + "/images/" + name)) << name;
  }
  EXPECT_EQ(document("images.json").at("count"), 44);
}

}  // namespace
}  // namespace tessellon
