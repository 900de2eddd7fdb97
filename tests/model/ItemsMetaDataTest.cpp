#include "tessellon/ItemsMetaData.h"

#include <gtest/gtest.h>

#include "model/ModelTestSupport.h"
#include "model/json/ItemsMetaDataJson.h"

namespace tessellon {

// A small element type standing in for contacts and calendar entries.
struct Note {
  std::string text;
  int priority = 0;
  friend bool operator==(const Note&, const Note&) = default;
};

template <>
struct ItemJson<Note> {
  static constexpr const char* kListKey = "notes";
  static std::optional<Json> serialize(const Note& note) {
    if (note.text == "unwritable") return std::nullopt;
    return Json{{"text", note.text}, {"priority", note.priority}};
  }
  static Result<std::shared_ptr<Note>> deserialize(const Json& value) {
    const std::optional<std::string> text = readString(member(value, "text"));
    if (!text) return makeError(JsonError::missingProperty, "text");
    return std::make_shared<Note>(
        Note{*text, static_cast<int>(readInteger(member(value, "priority")).value_or(0))});
  }
};

// What each stored element type adds beside its ItemJson.
template int64_t detail::compactJsonByteCount<Note>(const std::vector<std::shared_ptr<Note>>&);
template std::string detail::prettyJsonDescription<Note>(const ItemsMetaData<Note>&);

namespace {

using Notes = ItemsMetaData<Note>;
using NotesJson = ItemsMetaDataJson<Note>;

std::shared_ptr<Note> note(std::string text, int priority = 1) {
  return std::make_shared<Note>(Note{std::move(text), priority});
}

Result<std::shared_ptr<Notes>> read(const std::string& text) {
  return NotesJson::deserialize(parseJson(text).value());
}

// Counts and measures the compact JSON of the writable items; merging joins equal items once.
TEST(ItemsMetaDataTest, CountsMeasuresAndMerges) {
  const Notes notes({note("a"), note("bb", 2), note("unwritable")});
  EXPECT_EQ(notes.count, 3);
  EXPECT_EQ(notes.bytes,
            std::string(R"([{"priority":1,"text":"a"},{"priority":2,"text":"bb"}])").size());

  const auto merged = Notes({note("a"), note("b"), note("a")}).merge(Notes({note("b"), note("c")}));
  const Notes expected({note("a"), note("b"), note("c")});
  EXPECT_EQ(*merged, expected);
  EXPECT_EQ(merged->count, 3);
  EXPECT_EQ(merged->bytes, expected.bytes);
  EXPECT_EQ(Notes(2, 100).merge(expected)->count, 3);  // a side without a list adds nothing
}

TEST(ItemsMetaDataTest, CountsNewLocalItems) {
  using Items = Notes::Items;
  const std::tuple<const char*, std::optional<Items>, std::optional<Items>, int> rows[] = {
      {"no remote list", std::nullopt, Items{note("a"), note("b"), note("c")}, 3},
      {"no local list", Items{note("a")}, std::nullopt, 0},
      {"some known", Items{note("a"), note("b")}, Items{note("a"), note("c"), note("d")}, 2},
      {"all known", Items{note("a"), note("b")}, Items{note("b")}, 0},
      {"priority differs", Items{note("a", 1)}, Items{note("a", 2)}, 1},
  };
  for (const auto& [name, remote, local, fresh] : rows) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Notes::newItems(remote, local), fresh);
  }
}

TEST(ItemsMetaDataTest, EqualityComparesItemsAsSets) {
  const Notes ab({note("a"), note("b")});
  EXPECT_EQ(ab, Notes({note("b"), note("a")}));
  EXPECT_NE(ab, Notes({note("a"), note("c")}));
  EXPECT_NE(ab, Notes({note("a")}));
  EXPECT_NE(Notes(2, 10), Notes(Notes::Items{}, 2, 10));  // absent list differs from empty
  EXPECT_NE(Notes(2, 10), Notes(2, 11));
  EXPECT_EQ(*ab.copy(), ab);
}

TEST(ItemsMetaDataTest, WritesTheListOnlyWhenThereAreItems) {
  EXPECT_EQ(NotesJson::serialize(Notes(3, 300)), Json({{"count", 3}, {"bytes", 300}}));
  EXPECT_EQ(NotesJson::serialize(Notes(Notes::Items{})), Json({{"count", 0}, {"bytes", 2}}));

  const Notes notes({note("a"), note("unwritable")});
  const Json written = NotesJson::serialize(notes);
  EXPECT_EQ(written.at("notes"), Json::parse(R"([{"text":"a","priority":1}])"));
  EXPECT_EQ(written.at("count"), 2);
  const auto readBack = NotesJson::deserialize(written);
  ASSERT_TRUE(readBack.ok());
  EXPECT_EQ(*readBack.value(), Notes(Notes::Items{note("a")}, 2, notes.bytes));

  const auto lenient = read(R"({"count": "12", "bytes": 3400.7})");
  ASSERT_TRUE(lenient.ok());
  EXPECT_EQ(*lenient.value(), Notes(12, 3400));
}

TEST(ItemsMetaDataTest, MalformedListsFailWithTheNamedError) {
  const std::tuple<const char*, JsonError, const char*> rows[] = {
      {R"({"bytes": 1})", JsonError::missingProperty, "missingProperty(count)"},
      {R"({"count": "many", "bytes": 1})", JsonError::missingProperty, "missingProperty(count)"},
      {R"({"count": -1, "bytes": 1})", JsonError::missingProperty, "missingProperty(count)"},
      {R"({"count": 1e30, "bytes": 1})", JsonError::missingProperty, "missingProperty(count)"},
      {R"({"count": 1})", JsonError::missingProperty, "missingProperty(bytes)"},
      {R"({"count": 1, "bytes": 1, "notes": {"text": "a"}})", JsonError::deserializationFailed,
       nullptr},
      {R"({"count": 2, "bytes": 1, "notes": [{"text": "a"}, {"priority": 2}]})",
       JsonError::missingProperty, "missingProperty(text)"},
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
