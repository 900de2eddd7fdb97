#include <gtest/gtest.h>

#include "model/Constants.h"
#include "tessellon/Backup.h"
#include "tessellon/BackupSettings.h"
#include "tessellon/FileStatus.h"
#include "tessellon/Version.h"

namespace tessellon {
namespace {

TEST(RecordsTest, VersionParsing) {
  struct Row {
    const char* text;
    std::optional<Version> expected;
  };
  const Row rows[] = {
      {"1.2", Version(1, 2)},      {"  1.2 \n", Version(1, 2)}, {"10.0", Version(10, 0)},
      {"1.2.3", std::nullopt},     {"1", std::nullopt},         {"a1.2", std::nullopt},
      {"1.-2", std::nullopt},      {"", std::nullopt},          {"99999999999.1", std::nullopt},
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
      {"café", "caf"},           // é is not accepted, even though it shares ä's lead byte
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
