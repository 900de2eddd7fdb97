// Checking a stored backup through the facade, against damage done to the remote folder.

#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "model/HostBackup.h"
#include "sdk/FacadeHome.h"
#include "support/ErrorMatchers.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

MATCHER_P3(IsItem, remoteName, localPath, problem, "") {
  return arg.remoteName == remoteName && arg.localPaths == std::vector<std::string>{localPath} &&
         arg.problem == problem;
}

class VerifyTest : public FacadeHomeTest {
 protected:
  VerifyTest() {
    tree_.add("Pictures/2019/a.jpg", a_);
    tree_.add("Pictures/b.png", b_);
    tree_.add("Movies/c.mov", c_);
    home_.write("contacts/default/anna.vcf",
                "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:anna\r\nN:Berg;Anna;;;\r\nFN:Anna Berg\r\n"
                "END:VCARD\r\n");
    home_.write("calendars/personal/dentist.ics", dentistTomorrow());
    const auto backedUp = backup(BackupSettings("laptop", true, true, true, true, false));
    EXPECT_TRUE(backedUp.value) << (backedUp.error ? describe(*backedUp.error) : "cancelled");
    backup_ = onlyBackup();
  }

  std::shared_ptr<VerifyReport> check(bool readData) {
    const auto verified = verify(backup_, readData);
    EXPECT_TRUE(verified.value) << (verified.error ? describe(*verified.error) : "cancelled");
    return verified.value ? verified.value : std::make_shared<VerifyReport>();
  }
  // A stored file, by its path below the device folder.
  std::string stored(const std::string& relative) const {
    return remote_.file(backup_->deviceID + "/" + relative);
  }
  static std::string nameOf(const std::string& content, const std::string& extension) {
    return wholeContentFingerprint(content) + "." + extension;
  }
  bool downloadsLeft() const {
    return fs::exists(home_.file("downloads")) && !fs::is_empty(home_.file("downloads"));
  }

  const std::string a_ = randomContent(3000, 1);
  const std::string b_ = randomContent(5000, 2);
  const std::string c_ = randomContent(7000, 3);
  std::shared_ptr<Backup> backup_;
};

TEST_F(VerifyTest, AWholeBackupPassesWithOneListingPerFolderAndNoRequestPerFile) {
  ASSERT_TRUE(backup_);
  const int listings = host_->calls("getDirectoryInfo");
  const int downloads = host_->calls("downloadFile");
  const auto report = check(false);
  EXPECT_TRUE(report->isIntact());
  EXPECT_EQ(report->deviceID, backup_->deviceID);
  EXPECT_EQ(report->images.checked, 2);
  EXPECT_EQ(report->videos.checked, 1);
  EXPECT_EQ(report->documents.checked, 4);
  EXPECT_EQ(report->images.contentChecked + report->videos.contentChecked, 0);
  // The device folder, "images" and "videos"; the four documents.
  EXPECT_EQ(host_->calls("getDirectoryInfo") - listings, 3);
  EXPECT_EQ(host_->calls("downloadFile") - downloads, 4);

  // The folder remote streams each stored file in place: no copy is made.
  const int downloadsBeforeRead = host_->calls("downloadFile");
  const auto read = check(true);
  EXPECT_TRUE(read->isIntact());
  EXPECT_EQ(read->images.contentChecked, 2);
  EXPECT_EQ(read->videos.contentChecked, 1);
  EXPECT_EQ(host_->calls("readFile"), 3);
  EXPECT_EQ(host_->calls("downloadFile") - downloadsBeforeRead, 4);
  EXPECT_FALSE(downloadsLeft());
}

TEST_F(VerifyTest, MissingAndDamagedFilesAreNamedWithWhereTheyWere) {
  ASSERT_TRUE(backup_);
  fs::remove(stored("images/" + nameOf(a_, "jpg")));
  fs::resize_file(stored("images/" + nameOf(b_, "png")), 10);
  std::string video = remote_.read(stored("videos/" + nameOf(c_, "mov")));
  video[0] = static_cast<char>(video[0] ^ 0x5a);
  remote_.write(stored("videos/" + nameOf(c_, "mov")), video);

  const auto report = check(false);
  EXPECT_THAT(report->images.missing,
              ElementsAre(IsItem(nameOf(a_, "jpg"), "2019/a.jpg", "not on the remote")));
  EXPECT_THAT(report->images.damaged,
              ElementsAre(IsItem(nameOf(b_, "png"), "b.png", "10 bytes instead of 5000")));
  EXPECT_EQ(report->images.missing.front().bytes, 3000);
  // Same size: only reading the content tells.
  EXPECT_TRUE(report->videos.isIntact());
  EXPECT_TRUE(report->documents.isIntact());

  // Streamed by the host, or downloaded from one that cannot stream: the same findings.
  for (const bool streams : {true, false}) {
    if (!streams) host_->withoutStreaming();
    const auto read = check(true);
    EXPECT_THAT(read->videos.damaged, ElementsAre(IsItem(nameOf(c_, "mov"), "c.mov",
                                                         "the content differs from its checksum")))
        << "streams " << streams;
    EXPECT_EQ(read->videos.contentChecked, 1);
    EXPECT_EQ(read->images.missing.size(), 1u);
    EXPECT_EQ(read->images.damaged.size(), 1u);
    EXPECT_FALSE(read->isIntact());
    EXPECT_FALSE(downloadsLeft());
  }
}

TEST_F(VerifyTest, AFileTheListingLeavesOutIsAskedForBeforeItIsNamedMissing) {
  ASSERT_TRUE(backup_);
  fs::remove(stored("images/" + nameOf(a_, "jpg")));
  host_->listWithoutFiles("/images");
  for (const bool streams : {true, false}) {
    if (!streams) host_->withoutStreaming();
    const auto report = check(true);
    EXPECT_THAT(report->images.missing,
                ElementsAre(IsItem(nameOf(a_, "jpg"), "2019/a.jpg", "not on the remote")))
        << "streams " << streams;
    EXPECT_TRUE(report->images.damaged.empty());
    // The picture the listing left out is there, and its content was read.
    EXPECT_EQ(report->images.contentChecked, 1);
    EXPECT_FALSE(downloadsLeft());
  }
}

TEST_F(VerifyTest, DocumentsThatAreMissingOrDoNotReadAreNamed) {
  ASSERT_TRUE(backup_);
  fs::remove(stored("contacts.json"));
  remote_.write(stored("calendars.json"), "{\"items\": [");
  remote_.write(stored("images.json"), "not json");

  const auto report = check(false);
  EXPECT_THAT(report->documents.missing,
              ElementsAre(AllOf(Field(&VerifyItem::remoteName, "contacts.json"),
                                Field(&VerifyItem::localPaths, IsEmpty()))));
  EXPECT_THAT(report->documents.damaged,
              UnorderedElementsAre(Field(&VerifyItem::remoteName, "calendars.json"),
                                   Field(&VerifyItem::remoteName, "images.json")));
  // The images cannot be checked without their list; the videos still are.
  EXPECT_EQ(report->images.checked, 0);
  EXPECT_EQ(report->videos.checked, 1);
  EXPECT_TRUE(report->videos.isIntact());
}

TEST_F(VerifyTest, VerifyIsAnOperationOfItsOwnAndCanBeCancelled) {
  ASSERT_TRUE(backup_);
  auto newer = backup_->record->copy();
  newer->version = std::make_shared<Version>(2, 0);
  EXPECT_THAT(verify(hostBackup(newer), false).error, HasCode(BackupSDKError::versionConflict));

  host_->setDelivery(FaultyDelegate::Delivery::late);
  const auto cancelled = verify(backup_, true, [&] {
    ASSERT_TRUE(host_->waitForHeld(1));
    EXPECT_THAT(backup(BackupSettings("laptop", false, false, false, true, false)).error,
                HasCode(BackupSDKError::isAlreadyRunning));
    sdk().cancel([] {});
  });
  EXPECT_TRUE(cancelled.cancelled());
  host_->setDelivery(FaultyDelegate::Delivery::asIs);
  host_->deliverHeld();
  EXPECT_FALSE(downloadsLeft());
  EXPECT_TRUE(check(false)->isIntact());
}

}  // namespace
}  // namespace tessellon
