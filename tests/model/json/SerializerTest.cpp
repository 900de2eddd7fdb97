#include "model/json/Serializer.h"

#include <gtest/gtest.h>

#include "model/ModelTestSupport.h"
#include "model/json/BackupSerializer.h"
#include "model/json/MetadataSerializer.h"
#include "platform/calendar/CalendarEntry.h"
#include "platform/contacts/Contact.h"

namespace tessellon {
namespace {

struct UnknownDocument : Serializable {};

Serializer makeSerializer() {
  return Serializer(std::make_shared<BackupSerializer>([] { return std::string("me"); }),
                    std::make_shared<MetadataSerializer>());
}

// Documents of every type travel through the serializer in the end-to-end suites; here its
// failures, which must reach the caller unchanged.
TEST(SerializerTest, PassesDocumentErrorsOn) {
  Serializer serializer = makeSerializer();
  EXPECT_TRUE(failsWith(deserializeAs<BackupRecord>(serializer, R"({"count": 1, "bytes": 1})"),
                        JsonError::serializationFailed));
  EXPECT_TRUE(
      failsWith(deserializeAs<MediaMetaData>(serializer, "[]"), JsonError::invalidJsonString));
  EXPECT_TRUE(failsWith(serializer.serialize(BackupRecord("no start date")),
                        BackupSDKError::jsonSerializationFailed));
  EXPECT_TRUE(failsWith(deserializeAs<ItemsMetaData<Contact>>(serializer, R"({"bytes": 1})"),
                        JsonError::deserializationFailed));
  EXPECT_TRUE(failsWith(deserializeAs<ItemsMetaData<CalendarEntry>>(serializer, "[]"),
                        JsonError::invalidJsonString));
}

TEST(SerializerTest, OtherTypesHaveNoDocument) {
  Serializer serializer = makeSerializer();
  EXPECT_TRUE(failsWith(serializer.serialize(UnknownDocument()),
                        SerializationError::missingSerializationImplementation));
  EXPECT_TRUE(failsWith(deserializeAs<UnknownDocument>(serializer, "{}"),
                        SerializationError::missingDeserializationImplementation));
}

}  // namespace
}  // namespace tessellon
