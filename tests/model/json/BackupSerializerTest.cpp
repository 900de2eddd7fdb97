#include "model/json/BackupSerializer.h"

#include <gtest/gtest.h>

#include "model/ModelTestSupport.h"
#include "model/json/Json.h"

namespace tessellon {
namespace {

class BackupSerializerTest : public ::testing::Test {
 protected:
  std::shared_ptr<BackupRecord> read(const std::string& text) {
    auto result = serializer_.deserialize(text);
    EXPECT_TRUE(result.ok()) << (result.ok() ? "" : describe(result.error()));
    return result.ok() ? result.value() : nullptr;
  }
  Json written(const BackupRecord& backup) {
    auto text = serializer_.serialize(backup);
    EXPECT_TRUE(text.ok()) << (text.ok() ? "" : describe(text.error()));
    return text.ok() ? Json::parse(text.value()) : Json();
  }
  // The golden record with `key` replaced (or removed, for a null value).
  std::string goldenWith(const std::string& key, const Json& value) {
    Json document = Json::parse(readTestData("backup.json"));
    value.is_null() ? (void)document.erase(key) : (void)(document[key] = value);
    return document.dump();
  }

  ScopedTimeZone utc_{"UTC"};
  BackupSerializer serializer_{[] { return std::string("THIS-DEVICE"); }};
};

TEST_F(BackupSerializerTest, GoldenRecordReadsAndWritesBackUnchanged) {
  const auto backup = read(readTestData("backup.json"));
  ASSERT_TRUE(backup);
  EXPECT_EQ(backup->deviceID, "C02XK1ZAJG5H");
  EXPECT_EQ(backup->startDate, dateAt(1614853230123));
  EXPECT_EQ(backup->finishDate, dateAt(1614853501500));
  EXPECT_EQ(backup->imagesMetaData->bytes, 3145728);
  EXPECT_EQ(backup->deviceType, DeviceType::pc);
  // Never stored: the values of a new record.
  EXPECT_EQ(*backup->hashVersion, Version(1, 1));
  EXPECT_EQ(backup->mediaVersions, (MediaVersions{0, 0, {Version(1, 1)}}));
  EXPECT_FALSE(backup->taskList);
  expectGolden("backup.json", written(*backup));
}

TEST_F(BackupSerializerTest, RoundTripKeepsStoredFieldsAndSummariesButNeverTheRunState) {
  BackupRecord backup("device/1");
  backup.startDate = dateAt(1614853230123);
  backup.finishDate = dateAt(-5);
  backup.name = "Grüße";
  backup.osFamily = DeviceFamily::android;
  backup.deviceType = DeviceType::tablet;
  backup.backupModelVersion = 7;
  backup.version = std::make_shared<Version>(1, 10);
  backup.imagesMetaData = std::make_shared<MediaMetaData>(MediaMetaData::Items{
      std::make_shared<MediaItem>("jpg", 7, "a", dateAt(0), "1.1_a", std::vector<std::string>{})});
  backup.contactsMetaData =
      std::make_shared<ItemsMetaData<Contact>>(std::vector<std::shared_ptr<Contact>>{}, 1, 9);
  backup.calendarsMetaData = std::make_shared<ItemsMetaData<CalendarEntry>>(3, 30);
  backup.taskList = std::make_shared<BackupRecord>("task");
  backup.mediaVersions.images = 1;

  const Json document = written(backup);
  EXPECT_EQ(document.at("imagesMetaData"), Json({{"count", 1}, {"bytes", 7}}));
  EXPECT_EQ(document.at("contactsMetaData"), Json({{"count", 1}, {"bytes", 9}}));
  for (const char* absent :
       {"hashVersion", "mediaVersions", "taskList", "taskListToProcess", "videosMetaData"}) {
    EXPECT_FALSE(document.contains(absent)) << absent;
  }
  EXPECT_EQ(document.at("version"), "1.10");
  EXPECT_EQ(document.at("finishDate"), "1969-12-31T23:59:59.995Z");
  const auto readBack = read(document.dump());
  ASSERT_TRUE(readBack);
  EXPECT_EQ(written(*readBack), document);
  EXPECT_EQ(readBack->osFamily, DeviceFamily::android);
  EXPECT_EQ(*readBack->version, Version(1, 10));
  EXPECT_FALSE(readBack->modificationDate || readBack->taskList);
}

TEST_F(BackupSerializerTest, WritingNeedsVersionStartDateAndDeviceType) {
  BackupRecord backup("device");
  EXPECT_TRUE(failsWith(serializer_.serialize(backup), BackupSDKError::jsonSerializationFailed));
  backup.startDate = dateAt(0);
  EXPECT_TRUE(serializer_.serialize(backup).ok());
  BackupRecord noType = backup;
  noType.deviceType.reset();
  EXPECT_TRUE(failsWith(serializer_.serialize(noType), BackupSDKError::jsonSerializationFailed));
  backup.version.reset();
  EXPECT_TRUE(failsWith(serializer_.serialize(backup), BackupSDKError::jsonSerializationFailed));
}

TEST_F(BackupSerializerTest, LenientFieldsAndThisDevicesDefaults) {
  EXPECT_EQ(read(goldenWith("deviceID", nullptr))->deviceID, "THIS-DEVICE");
  EXPECT_EQ(read(goldenWith("deviceName", "Anna/Mac/Pro"))->deviceName, "Anna_Mac_Pro");
  EXPECT_EQ(read(goldenWith("version", " 1.3 "))->version->minor, 3);
  EXPECT_EQ(*read(goldenWith("version", 1.5))->version, Version(1, 5));
  EXPECT_EQ(read(goldenWith("backupModelVersion", "2"))->backupModelVersion, 2);
  EXPECT_FALSE(read(goldenWith("finishDate", "not a date"))->finishDate);
  EXPECT_EQ(read(goldenWith("imagesMetaData", Json::parse(R"({"count": "4", "bytes": 1})")))
                ->imagesMetaData->count,
            4);
  // A record written before the family was stored comes from a Mac.
  EXPECT_EQ(read(goldenWith("osFamily", nullptr))->osFamily, DeviceFamily::macos);
}

TEST_F(BackupSerializerTest, MalformedRecordsFailWithTheNamedError) {
  const Error notJson = makeError(JsonError::invalidJsonString);
  const Error badKey = makeError(JsonError::serializationFailed);
  const Error badDate = makeError(BackupSDKError::jsonDeserializationFailed);
  const Error badSummary = makeError(JsonError::deserializationFailed);
  const std::tuple<const char*, std::string, Error> rows[] = {
      {"not JSON", "{\"version\": \"1.2\"", notJson},
      {"a list", "[" + readTestData("backup.json") + "]", notJson},
      {"no version", goldenWith("version", nullptr), badKey},
      {"version 1.2.3", goldenWith("version", "1.2.3"), badKey},
      {"version a boolean", goldenWith("version", true), badKey},
      {"no startDate", goldenWith("startDate", nullptr), badDate},
      {"startDate without fraction", goldenWith("startDate", "2021-03-04T10:20:30Z"), badDate},
      {"osFamily linux", goldenWith("osFamily", "linux"), badKey},
      {"deviceType desktop", goldenWith("deviceType", "desktop"), badKey},
      {"imagesMetaData a list", goldenWith("imagesMetaData", Json::parse("[1, 2]")), badSummary},
      {"contactsMetaData without bytes", goldenWith("contactsMetaData", Json{{"count", 1}}),
       makeError(JsonError::missingProperty)},
  };
  for (const auto& [name, text, expected] : rows) {
    SCOPED_TRACE(name);
    const auto result = serializer_.deserialize(text);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().domain, expected.domain);
    EXPECT_EQ(result.error().code, expected.code);
  }
}

}  // namespace
}  // namespace tessellon
