#include "model/json/BackupSerializer.h"

#include <gtest/gtest.h>

#include "model/ModelTestSupport.h"
#include "model/json/Json.h"

namespace tessellon {
namespace {

class BackupSerializerTest : public ::testing::Test {
 protected:
  std::shared_ptr<Backup> read(const std::string& text) {
    auto result = serializer_.deserialize(text);
    EXPECT_TRUE(result.ok()) << (result.ok() ? "" : describe(result.error()));
    return result.ok() ? result.value() : nullptr;
  }
  Json written(const Backup& backup) {
    auto text = serializer_.serialize(backup);
    EXPECT_TRUE(text.ok()) << (text.ok() ? "" : describe(text.error()));
    return text.ok() ? Json::parse(text.value()) : Json();
  }
  // The golden record with `key` replaced (or removed, for a null value).
  std::string goldenWith(const std::string& key, const Json& value) {
    Json document = Json::parse(readTestData("backup.json"));
    if (value.is_null()) {
      document.erase(key);
    } else {
      document[key] = value;
    }
    return document.dump();
  }

  ScopedTimeZone utc_{"UTC"};
  BackupSerializer serializer_{[] { return std::string("THIS-DEVICE"); }};
};

TEST_F(BackupSerializerTest, ReadsTheGoldenRecord) {
  const auto backup = read(readTestData("backup.json"));
  ASSERT_TRUE(backup);
  EXPECT_EQ(backup->deviceID, "C02XK1ZAJG5H");
  EXPECT_EQ(*backup->version, Version(1, 2));
  EXPECT_EQ(backup->backupModelVersion, 1);
  EXPECT_EQ(backup->startDate, dateAt(1614853230123));
  EXPECT_EQ(backup->modificationDate, dateAt(1614853500000));
  EXPECT_EQ(backup->finishDate, dateAt(1614853501500));
  EXPECT_EQ(backup->name, "Mein Backup");
  EXPECT_EQ(backup->contactsMetaData->count, 2);
  EXPECT_EQ(backup->contactsMetaData->bytes, 512);
  EXPECT_FALSE(backup->contactsMetaData->items);
  EXPECT_EQ(backup->calendarsMetaData->bytes, 2048);
  EXPECT_EQ(backup->imagesMetaData->count, 3);
  EXPECT_EQ(backup->imagesMetaData->bytes, 3145728);
  EXPECT_FALSE(backup->imagesMetaData->items);
  EXPECT_EQ(backup->videosMetaData->count, 0);
  EXPECT_EQ(backup->osFamily, DeviceFamily::macos);
  EXPECT_EQ(backup->deviceType, DeviceType::pc);
  EXPECT_EQ(backup->deviceName, "Anna_Mac");
  // Never stored: the values of a new record.
  EXPECT_EQ(*backup->hashVersion, Version(1, 1));
  EXPECT_EQ(backup->mediaVersions, (MediaVersions{0, 0, {Version(1, 1)}}));
  EXPECT_FALSE(backup->taskList);
  EXPECT_FALSE(backup->taskListToProcess);
}

TEST_F(BackupSerializerTest, WritesTheGoldenRecord) {
  const auto backup = read(readTestData("backup.json"));
  ASSERT_TRUE(backup);
  const Json document = written(*backup);
  if (updatingGoldenFiles()) writeTestData("backup.json", document.dump(2) + "\n");
  EXPECT_EQ(document, Json::parse(readTestData("backup.json")));
}

TEST_F(BackupSerializerTest, WritesSummariesAndNeverTheRunState) {
  Backup backup("device");
  backup.startDate = dateAt(0);
  backup.imagesMetaData = std::make_shared<MediaMetaData>(MediaMetaData::Items{
      std::make_shared<MediaItem>("jpg", 7, "a", dateAt(0), "1.1_a", std::vector<std::string>{})});
  backup.contactsMetaData =
      std::make_shared<ItemsMetaData<Contact>>(std::vector<std::shared_ptr<Contact>>{}, 1, 9);
  backup.taskList = std::make_shared<Backup>("task");
  backup.mediaVersions.images = 1;

  const Json document = written(backup);
  EXPECT_EQ(document.at("imagesMetaData"), Json({{"count", 1}, {"bytes", 7}}));
  EXPECT_EQ(document.at("contactsMetaData"), Json({{"count", 1}, {"bytes", 9}}));
  for (const char* never : {"hashVersion", "mediaVersions", "taskList", "taskListToProcess",
                            "calendarsMetaData", "videosMetaData", "name", "finishDate"}) {
    EXPECT_FALSE(document.contains(never)) << never;
  }
  EXPECT_EQ(document.at("startDate"), "1970-01-01T00:00:00.000Z");
}

TEST_F(BackupSerializerTest, WritingNeedsVersionStartDateAndDeviceType) {
  Backup backup("device");
  EXPECT_TRUE(failsWith(serializer_.serialize(backup), BackupSDKError::jsonSerializationFailed));
  backup.startDate = dateAt(0);
  EXPECT_TRUE(serializer_.serialize(backup).ok());

  Backup noType = backup;
  noType.deviceType.reset();
  EXPECT_TRUE(failsWith(serializer_.serialize(noType), BackupSDKError::jsonSerializationFailed));
  Backup noVersion = backup;
  noVersion.version.reset();
  EXPECT_TRUE(failsWith(serializer_.serialize(noVersion), BackupSDKError::jsonSerializationFailed));
}

TEST_F(BackupSerializerTest, RoundTripKeepsEveryStoredField) {
  Backup backup("device/1");
  backup.startDate = dateAt(1614853230123);
  backup.finishDate = dateAt(-5);
  backup.name = "Grüße";
  backup.osFamily = DeviceFamily::android;
  backup.deviceType = DeviceType::tablet;
  backup.backupModelVersion = 7;
  backup.version = std::make_shared<Version>(1, 10);
  backup.calendarsMetaData = std::make_shared<ItemsMetaData<CalendarEntry>>(3, 30);
  backup.videosMetaData = MediaMetaData::stored(std::nullopt, 2, 20);

  const auto readBack = read(serializer_.serialize(backup).value());
  ASSERT_TRUE(readBack);
  EXPECT_EQ(readBack->deviceID, "device/1");
  EXPECT_EQ(readBack->startDate, backup.startDate);
  EXPECT_EQ(readBack->finishDate, backup.finishDate);
  EXPECT_FALSE(readBack->modificationDate);
  EXPECT_EQ(readBack->name, backup.name);
  EXPECT_EQ(readBack->osFamily, DeviceFamily::android);
  EXPECT_EQ(readBack->deviceType, DeviceType::tablet);
  EXPECT_EQ(readBack->backupModelVersion, 7);
  EXPECT_EQ(*readBack->version, Version(1, 10));
  EXPECT_EQ(readBack->calendarsMetaData->count, 3);
  EXPECT_EQ(readBack->calendarsMetaData->bytes, 30);
  EXPECT_EQ(readBack->videosMetaData->bytes, 20);
  EXPECT_FALSE(readBack->imagesMetaData);
  EXPECT_EQ(readBack->deviceName, backup.deviceName);
}

TEST_F(BackupSerializerTest, LenientFieldsAndThisDevicesDefaults) {
  EXPECT_EQ(read(goldenWith("deviceID", nullptr))->deviceID, "THIS-DEVICE");
  EXPECT_EQ(read(goldenWith("deviceName", "Anna/Mac/Pro"))->deviceName, "Anna_Mac_Pro");
  EXPECT_EQ(read(goldenWith("version", " 1.3 "))->version->minor, 3);
  EXPECT_EQ(*read(goldenWith("version", 1.5))->version, Version(1, 5));
  EXPECT_EQ(read(goldenWith("backupModelVersion", "2"))->backupModelVersion, 2);
  EXPECT_EQ(read(goldenWith("name", 12))->name, "12");
  EXPECT_FALSE(read(goldenWith("finishDate", "not a date"))->finishDate);
  EXPECT_FALSE(read(goldenWith("imagesMetaData", nullptr))->imagesMetaData);
  EXPECT_EQ(read(goldenWith("imagesMetaData", Json::parse(R"({"count": "4", "bytes": 1})")))
                ->imagesMetaData->count,
            4);
  // A record written before the family was stored comes from a Mac.
  EXPECT_EQ(read(goldenWith("osFamily", nullptr))->osFamily, DeviceFamily::macos);
}

TEST_F(BackupSerializerTest, MalformedRecordsFailWithTheNamedError) {
  struct Row {
    const char* name;
    std::string text;
    Error expected;
  };
  const Row rows[] = {
      {"not JSON", "{\"version\": \"1.2\"", makeError(JsonError::invalidJsonString)},
      {"a list", "[" + readTestData("backup.json") + "]", makeError(JsonError::invalidJsonString)},
      {"no version", goldenWith("version", nullptr), makeError(JsonError::serializationFailed)},
      {"version 1.2.3", goldenWith("version", "1.2.3"), makeError(JsonError::serializationFailed)},
      {"version 1", goldenWith("version", "1"), makeError(JsonError::serializationFailed)},
      {"version a boolean", goldenWith("version", true), makeError(JsonError::serializationFailed)},
      {"no startDate", goldenWith("startDate", nullptr),
       makeError(BackupSDKError::jsonDeserializationFailed)},
      {"startDate without fraction", goldenWith("startDate", "2021-03-04T10:20:30Z"),
       makeError(BackupSDKError::jsonDeserializationFailed)},
      {"osFamily linux", goldenWith("osFamily", "linux"),
       makeError(JsonError::serializationFailed)},
      {"deviceType desktop", goldenWith("deviceType", "desktop"),
       makeError(JsonError::serializationFailed)},
      {"imagesMetaData a list", goldenWith("imagesMetaData", Json::parse("[1, 2]")),
       makeError(JsonError::deserializationFailed)},
      {"videosMetaData without count", goldenWith("videosMetaData", Json{{"bytes", 1}}),
       makeError(JsonError::deserializationFailed)},
      {"contactsMetaData without bytes", goldenWith("contactsMetaData", Json{{"count", 1}}),
       makeError(JsonError::missingProperty, "bytes")},
      {"calendarsMetaData a number", goldenWith("calendarsMetaData", 5),
       makeError(JsonError::deserializationFailed)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto result = serializer_.deserialize(row.text);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().domain, row.expected.domain);
    EXPECT_EQ(result.error().code, row.expected.code);
  }
}

}  // namespace
}  // namespace tessellon
