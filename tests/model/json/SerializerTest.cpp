#include "model/json/Serializer.h"

#include <gtest/gtest.h>

#include "model/ModelTestSupport.h"
#include "model/json/BackupSerializer.h"
#include "model/json/Json.h"
#include "model/json/MetadataSerializer.h"
#include "tessellon/CalendarEntry.h"
#include "tessellon/Contact.h"

namespace tessellon {
namespace {

struct UnknownDocument : Serializable {};

class SerializerTest : public ::testing::Test {
 protected:
  ScopedTimeZone utc_{"UTC"};
  Serializer serializer_{std::make_shared<BackupSerializer>([] { return std::string("me"); }),
                         std::make_shared<MetadataSerializer>()};
};

TEST_F(SerializerTest, PicksTheDocumentByModelType) {
  Backup backup("device");
  backup.startDate = dateAt(0);
  const Result<std::string> record = serializer_.serialize(backup);
  ASSERT_TRUE(record.ok());
  EXPECT_EQ(Json::parse(record.value()).at("deviceID"), "device");

  const MediaMetaData media({std::make_shared<MediaItem>("jpg", 4, "a", dateAt(0), "1.1_a",
                                                         std::vector<std::string>{"a"})});
  const Result<std::string> document = serializer_.serialize(media);
  ASSERT_TRUE(document.ok());
  EXPECT_EQ(Json::parse(document.value()).at("items").size(), 1u);

  const auto readRecord = deserializeAs<Backup>(serializer_, record.value());
  ASSERT_TRUE(readRecord.ok());
  EXPECT_EQ(readRecord.value()->startDate, dateAt(0));
  const auto readMedia = deserializeAs<MediaMetaData>(serializer_, document.value());
  ASSERT_TRUE(readMedia.ok());
  EXPECT_EQ(readMedia.value()->bytes, 4);
}

TEST_F(SerializerTest, PassesDocumentErrorsOnAndOtherTypesHaveNoDocument) {
  EXPECT_TRUE(failsWith(deserializeAs<Backup>(serializer_, R"({"count": 1, "bytes": 1})"),
                        JsonError::serializationFailed));
  EXPECT_TRUE(
      failsWith(deserializeAs<MediaMetaData>(serializer_, "[]"), JsonError::invalidJsonString));
  EXPECT_TRUE(failsWith(serializer_.serialize(Backup("no start date")),
                        BackupSDKError::jsonSerializationFailed));
  EXPECT_TRUE(failsWith(serializer_.serialize(UnknownDocument()),
                        SerializationError::missingSerializationImplementation));
  EXPECT_TRUE(failsWith(deserializeAs<UnknownDocument>(serializer_, "{}"),
                        SerializationError::missingDeserializationImplementation));
}

TEST_F(SerializerTest, ItemListsReadBackWithTheirCountersOrFailAsAWhole) {
  const Result<std::string> contacts = serializer_.serialize(ItemsMetaData<Contact>(3, 900));
  ASSERT_TRUE(contacts.ok());
  const auto readContacts = deserializeAs<ItemsMetaData<Contact>>(serializer_, contacts.value());
  ASSERT_TRUE(readContacts.ok());
  EXPECT_EQ(readContacts.value()->count, 3);
  EXPECT_EQ(readContacts.value()->bytes, 900);

  const Result<std::string> calendars = serializer_.serialize(ItemsMetaData<CalendarEntry>(0, 0));
  ASSERT_TRUE(calendars.ok());
  EXPECT_TRUE(deserializeAs<ItemsMetaData<CalendarEntry>>(serializer_, calendars.value()).ok());

  EXPECT_TRUE(failsWith(deserializeAs<ItemsMetaData<Contact>>(serializer_, R"({"bytes": 1})"),
                        JsonError::deserializationFailed));
  EXPECT_TRUE(failsWith(deserializeAs<ItemsMetaData<CalendarEntry>>(serializer_, "[]"),
                        JsonError::invalidJsonString));
  EXPECT_TRUE(failsWith(
      deserializeAs<ItemsMetaData<Contact>>(serializer_, R"({"count": 1, "bytes": 1, "contacts": 5})"),
      JsonError::deserializationFailed));
}

}  // namespace
}  // namespace tessellon
