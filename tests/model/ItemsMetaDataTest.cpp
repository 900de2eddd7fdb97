#include "model/ItemsMetaData.h"

#include <gtest/gtest.h>

#include "model/ModelTestSupport.h"
#include "model/json/ContactJson.h"
#include "model/json/ItemsMetaDataJson.h"
#include "platform/contacts/Contact.h"

namespace tessellon {
namespace {

// The list logic is shared by contacts and calendars; contacts stand in for both.
using People = ItemsMetaData<Contact>;
using PeopleJson = ItemsMetaDataJson<Contact>;

std::shared_ptr<Contact> person(std::string first, std::string last = "") {
  auto contact = std::make_shared<Contact>();
  contact->firstName = std::move(first);
  if (!last.empty()) contact->lastName = std::move(last);
  return contact;
}

Result<std::shared_ptr<People>> read(const std::string& text) {
  return PeopleJson::deserialize(parseJson(text).value());
}

// Counts and measures the compact JSON of the list; merging joins equal items once.
TEST(ItemsMetaDataTest, CountsMeasuresAndMerges) {
  const People people({person("a"), person("bb", "c")});
  EXPECT_EQ(people.count, 2);
  EXPECT_EQ(people.bytes,
            std::string(R"([{"firstName":"a"},{"firstName":"bb","lastName":"c"}])").size());

  const auto merged =
      People({person("a"), person("b"), person("a")}).merge(People({person("b"), person("c")}));
  const People expected({person("a"), person("b"), person("c")});
  EXPECT_EQ(*merged, expected);
  EXPECT_EQ(merged->count, 3);
  EXPECT_EQ(merged->bytes, expected.bytes);
  EXPECT_EQ(People(2, 100).merge(expected)->count, 3);  // a side without a list adds nothing
}

TEST(ItemsMetaDataTest, CountsNewLocalItems) {
  using Items = People::Items;
  const std::tuple<const char*, std::optional<Items>, std::optional<Items>, int> rows[] = {
      {"no remote list", std::nullopt, Items{person("a"), person("b"), person("c")}, 3},
      {"no local list", Items{person("a")}, std::nullopt, 0},
      {"some known", Items{person("a"), person("b")}, Items{person("a"), person("c"), person("d")},
       2},
      {"all known", Items{person("a"), person("b")}, Items{person("b")}, 0},
      {"a field differs", Items{person("a", "x")}, Items{person("a", "y")}, 1},
  };
  for (const auto& [name, remote, local, fresh] : rows) {
    SCOPED_TRACE(name);
    EXPECT_EQ(People::newItems(remote, local), fresh);
  }
}

TEST(ItemsMetaDataTest, EqualityComparesItemsAsSets) {
  const People ab({person("a"), person("b")});
  EXPECT_EQ(ab, People({person("b"), person("a")}));
  EXPECT_NE(ab, People({person("a"), person("c")}));
  EXPECT_NE(ab, People({person("a")}));
  EXPECT_NE(People(2, 10), People(People::Items{}, 2, 10));  // absent list differs from empty
  EXPECT_NE(People(2, 10), People(2, 11));
  EXPECT_EQ(*ab.copy(), ab);
}

TEST(ItemsMetaDataTest, WritesTheListOnlyWhenThereAreItems) {
  EXPECT_EQ(PeopleJson::serialize(People(3, 300)), Json({{"count", 3}, {"bytes", 300}}));
  EXPECT_EQ(PeopleJson::serialize(People(People::Items{})), Json({{"count", 0}, {"bytes", 2}}));
  const People people({person("a")});
  const Json written = PeopleJson::serialize(people);
  EXPECT_EQ(written.at("contacts"), Json::parse(R"([{"firstName":"a"}])"));
  const auto readBack = PeopleJson::deserialize(written);
  ASSERT_TRUE(readBack.ok());
  EXPECT_EQ(*readBack.value(), people);

  const auto lenient = read(R"({"count": "12", "bytes": 3400.7})");
  ASSERT_TRUE(lenient.ok());
  EXPECT_EQ(*lenient.value(), People(12, 3400));
}

TEST(ItemsMetaDataTest, MalformedListsFailWithTheNamedError) {
  const std::tuple<const char*, JsonError, const char*> rows[] = {
      {R"({"bytes": 1})", JsonError::missingProperty, "missingProperty(count)"},
      {R"({"count": "many", "bytes": 1})", JsonError::missingProperty, "missingProperty(count)"},
      {R"({"count": -1, "bytes": 1})", JsonError::missingProperty, "missingProperty(count)"},
      {R"({"count": 1e30, "bytes": 1})", JsonError::missingProperty, "missingProperty(count)"},
      {R"({"count": 1})", JsonError::missingProperty, "missingProperty(bytes)"},
      {R"({"count": 1, "bytes": 1, "contacts": {"firstName": "a"}})",
       JsonError::deserializationFailed, nullptr},
      {R"({"count": 2, "bytes": 1, "contacts": [{}, {"numbers": [{"label": "x"}]}]})",
       JsonError::missingProperty, "missingProperty(number)"},
      {R"([{"count": 1, "bytes": 1}])", JsonError::deserializationFailed, nullptr},
  };
  for (const auto& [text, code, message] : rows) {
    SCOPED_TRACE(text);
    const auto result = read(text);
    EXPECT_TRUE(failsWith(result, code));
    if (message != nullptr && !result.ok()) {
      EXPECT_EQ(result.error().message, message);
    }
  }
}

}  // namespace
}  // namespace tessellon
