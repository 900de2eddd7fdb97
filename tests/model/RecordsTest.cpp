#include <gtest/gtest.h>

#include "tessellon/Backup.h"
#include "tessellon/BackupSettings.h"
#include "tessellon/FileStatus.h"
#include "tessellon/Version.h"

#include "model/Constants.h"
#include "model/ModelTestSupport.h"
#include "platform/identity/ComputerName.h"

namespace tessellon {
namespace {

TEST(RecordsTest, VersionParsing) {
  struct Row {
    const char* text;
    std::optional<Version> expected;
  };
  const Row rows[] = {
      {"1.2", Version(1, 2)},  {"  1.2 \n", Version(1, 2)}, {"10.0", Version(10, 0)},
      {"1.2.3", std::nullopt}, {"1", std::nullopt},         {"a1.2", std::nullopt},
      {"1.-2", std::nullopt},  {"", std::nullopt},          {"99999999999.1", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(Version::parse(row.text), row.expected);
  }
}

TEST(RecordsTest, VersionsOrderByMajorThenMinor) {
  EXPECT_GT(Version(1, 10), Version(1, 9));
  EXPECT_GT(Version(2, 0), Version(1, 99));
  EXPECT_EQ(Version(1, 2).description(), "1.2");
}

TEST(RecordsTest, BackupNameKeepsOnlyAcceptedCharacters) {
  struct Row {
    const char* given;
    const char* stored;
  };
  const Row rows[] = {
      {"Mein Backup #1!", "Mein Backup 1"},
      {"Grüße_aus Köln ÄÖÜß", "Grüße_aus Köln ÄÖÜß"},
      {"a/b\\c.d-e", "abcde"},
      {"café", "caf"},  // é is not accepted, even though it shares ä's lead byte
      {"日本 name", " name"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.given);
    EXPECT_EQ(BackupSettings(row.given, true, true, true, true, false).backupName, row.stored);
  }
}

TEST(RecordsTest, NewBackupCarriesTheCurrentFormat) {
  Backup backup("device");
  EXPECT_EQ(*backup.version, Version(1, 2));
  EXPECT_EQ(*backup.hashVersion, Version(1, 1));
  EXPECT_EQ(backup.backupModelVersion, 1);
  EXPECT_EQ(backup.osFamily, DeviceFamily::macos);
  EXPECT_EQ(backup.deviceType, DeviceType::pc);
  EXPECT_EQ(backup.mediaVersions.versions, std::vector<Version>{Version(1, 1)});
  EXPECT_FALSE(backup.startDate);
  EXPECT_FALSE(backup.imagesMetaData);
  // Named after this computer; a "/" in its name would read as a folder.
  ASSERT_TRUE(computerName());
  ASSERT_TRUE(backup.deviceName);
  EXPECT_EQ(backup.deviceName->find('/'), std::string::npos);
  EXPECT_EQ(backup.deviceName->size(), computerName()->size());
}

TEST(RecordsTest, DeviceDescriptorsByRawValue) {
  const std::pair<DeviceFamily, const char*> families[] = {{DeviceFamily::ios, "ios"},
                                                           {DeviceFamily::android, "android"},
                                                           {DeviceFamily::macos, "macos"},
                                                           {DeviceFamily::windows, "windows"}};
  for (const auto& [family, raw] : families) {
    SCOPED_TRACE(raw);
    EXPECT_EQ(rawValue(family), raw);
    EXPECT_EQ(deviceFamilyFromRawValue(raw), family);
  }
  const std::pair<DeviceType, const char*> types[] = {{DeviceType::na, "na"},
                                                      {DeviceType::phone, "phone"},
                                                      {DeviceType::tablet, "tablet"},
                                                      {DeviceType::pc, "pc"}};
  for (const auto& [type, raw] : types) {
    SCOPED_TRACE(raw);
    EXPECT_EQ(rawValue(type), raw);
    EXPECT_EQ(deviceTypeFromRawValue(raw), type);
  }
  for (const char* invalid : {"", "MacOS", "macos ", "linux", "PC", "desktop"}) {
    SCOPED_TRACE(invalid);
    EXPECT_FALSE(deviceFamilyFromRawValue(invalid));
    EXPECT_FALSE(deviceTypeFromRawValue(invalid));
  }
}

TEST(RecordsTest, BackupDescriptionForLogs) {
  ScopedTimeZone zone("UTC");
  Backup backup("C02XK1ZAJG5H");
  backup.deviceName = "Anna_Mac";
  backup.startDate = dateAt(1614853230123);
  EXPECT_EQ(backup.description(),
            "name=nil version=1.2 osFamily=macos deviceName=Anna_Mac deviceType=pc "
            "deviceID=C02XK1ZAJG5H startDate=2021-03-04T10:20:30.123Z modificationDate=nil "
            "finishDate=nil");
  backup.name = "Mein Backup";
  backup.osFamily.reset();
  EXPECT_EQ(backup.description().rfind("name=Mein Backup version=1.2 osFamily=nil deviceName=", 0),
            0u);
}

TEST(RecordsTest, BackupCopyHasMetadataOfItsOwn) {
  Backup original("device");
  original.imagesMetaData = std::make_shared<MediaMetaData>(MediaMetaData::Items{
      std::make_shared<MediaItem>("jpg", 10, "a", dateAt(0), "1.1_a", std::vector<std::string>{})});
  original.contactsMetaData = std::make_shared<ItemsMetaData<Contact>>(4, 400);
  original.taskList = std::make_shared<Backup>("task list");

  const auto copied = original.copy();
  copied->imagesMetaData->removeMediaItems(*original.imagesMetaData->items);
  copied->contactsMetaData->count = 0;
  EXPECT_EQ(original.imagesMetaData->count, 1);
  EXPECT_EQ(original.contactsMetaData->count, 4);
  EXPECT_EQ(copied->contactsMetaData->bytes, 400);
  EXPECT_EQ(copied->taskList, original.taskList);
  EXPECT_EQ(copied->deviceID, "device");
  EXPECT_FALSE(copied->videosMetaData);
}

TEST(RecordsTest, MediaVersionsFollowTheItemsFingerprints) {
  const auto image = [](std::optional<std::string> fingerprint) {
    return std::make_shared<MediaItem>("jpg", 1, "a", dateAt(0), std::move(fingerprint),
                                       std::vector<std::string>{});
  };
  Backup backup("device");
  backup.imagesMetaData = std::make_shared<MediaMetaData>(MediaMetaData::Items{
      image("900150983cd24fb0d6963f7d28e17f72"), image("1.1_a"), image("1.2_b"), image("1.0_c")});
  backup.videosMetaData = std::make_shared<MediaMetaData>(MediaMetaData::Items{image("1.2_d")});

  const MediaVersions updated = backup.CreateUpdatedMediaVersions();
  EXPECT_EQ(updated, (MediaVersions{4, 1, {Version(1, 1), Version(1, 0), Version(1, 2)}}));
  EXPECT_EQ(backup.versionsOfMediaItems(), updated.versions);

  // Only a changed item count makes the schemes be collected again.
  backup.mediaVersions.versions = {Version(1, 1)};
  backup.CreateUpdatedMediaVersions();
  EXPECT_EQ(backup.versionsOfMediaItems(), std::vector<Version>{Version(1, 1)});
  backup.imagesMetaData.reset();
  EXPECT_EQ(backup.CreateUpdatedMediaVersions().images, 0);
  backup.imagesMetaData = std::make_shared<MediaMetaData>(MediaMetaData::Items{image("1.2_e")});
  EXPECT_EQ(backup.CreateUpdatedMediaVersions().versions,
            (std::vector<Version>{Version(1, 1), Version(1, 2)}));
}

TEST(RecordsTest, FileStatusTextForm) {
  FileStatus status{3, 1, 300, 100};
  EXPECT_EQ(status.description(), "overall=3 processed=1 overallBytes=300 processedBytes=100");
}

TEST(RecordsTest, HashingChunkSizeDependsOnTheScheme) {
  EXPECT_EQ(Constants::getHashingChunkSize(Version(1, 0)), 2097152);
  EXPECT_EQ(Constants::getHashingChunkSize(Version(1, 1)), 8192);
}

}  // namespace
}  // namespace tessellon
