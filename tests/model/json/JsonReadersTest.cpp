#include "model/json/JsonReaders.h"

#include <gtest/gtest.h>

#include "model/ModelTestSupport.h"
#include "model/json/JsonText.h"

namespace tessellon {
namespace {

// A value from JSON text; "absent" stands for a missing key.
std::optional<Json> value(const std::string& text) {
  if (text == "absent") return std::nullopt;
  return Json::parse(text);
}

const Json* pointer(const std::optional<Json>& json) { return json ? &*json : nullptr; }

constexpr std::nullopt_t none = std::nullopt;

TEST(JsonReadersTest, ReadsStringsAndBooleans) {
  const std::pair<const char*, std::optional<std::string>> strings[] = {
      {R"("abc")", "abc"}, {"12", "12"},       {"-3", "-3"},
      {"12.5", "12.5"},    {"true", "true"},   {"null", none},
      {"absent", none},    {"[1,2]", "[1,2]"}, {R"({"a":1})", R"({"a":1})"}};
  for (const auto& [text, expected] : strings) {
    EXPECT_EQ(readString(pointer(value(text))), expected) << text;
  }
  const std::pair<const char*, std::optional<bool>> booleans[] = {
      {"true", true}, {"false", false},    {R"("true")", true}, {R"("false")", false}, {"1", none},
      {"0", none},    {R"("TRUE")", none}, {R"("yes")", none},  {"absent", none},
  };
  for (const auto& [text, expected] : booleans) {
    EXPECT_EQ(readBool(pointer(value(text))), expected) << text;
  }
}

// readInteger also takes decimal text; readLong takes numbers only.
TEST(JsonReadersTest, ReadsIntegersWithinRange) {
  const std::tuple<const char*, std::optional<int64_t>, std::optional<int64_t>> rows[] = {
      {"12", 12, 12},
      {"-3", -3, -3},
      {"12.9", 12, 12},
      {"-12.9", -12, -12},
      {R"("12")", 12, none},
      {R"("+12")", 12, none},
      {R"("-7")", -7, none},
      {"9223372036854775807", INT64_MAX, INT64_MAX},
      {"-9223372036854775808", INT64_MIN, INT64_MIN},
  };
  for (const auto& [text, integer, number] : rows) {
    SCOPED_TRACE(text);
    EXPECT_EQ(readInteger(pointer(value(text))), integer);
    EXPECT_EQ(readLong(pointer(value(text))), number);
  }
  for (const char* text : {R"(" 12")", R"("12a")", R"("12.5")", R"("")", "true", "[1]", "null",
                           "absent", "9223372036854775808", "18446744073709551615", "1e30", "-1e30",
                           R"("99999999999999999999")"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(readInteger(pointer(value(text))));
    EXPECT_FALSE(readLong(pointer(value(text))));
  }
}

TEST(JsonReadersTest, MemberOfAnythingButAnObjectIsAbsent) {
  const Json object = Json::parse(R"({"a": 1, "n": null, "d": 20210304})");
  EXPECT_EQ(*member(object, "a"), 1);
  EXPECT_TRUE(member(object, "n")->is_null());
  EXPECT_EQ(member(object, "b"), nullptr);
  EXPECT_EQ(member(Json::parse(R"([{"a": 1}])"), "a"), nullptr);
  EXPECT_EQ(member(Json("a"), "a"), nullptr);
  EXPECT_FALSE(readDate(member(object, "d")));
  EXPECT_EQ(readDate(pointer(value(R"("2021-03-04T10:20:30.123Z")"))), dateAt(1614853230123));
}

TEST(JsonTextTest, ParsesOnlyWellFormedUtf8Json) {
  struct Row {
    const char* name;
    std::string text;
    bool parses;
  };
  const Row rows[] = {
      {"object", R"({"a": [1, {"b": "c"}]})", true},
      {"scalar", "12", true},
      {"trailing comma", R"({"a": 1,})", false},
      {"two values", "{} {}", false},
      {"empty", "", false},
      {"comment", "{} // note", false},
      {"invalid UTF-8", "{\"a\": \"\xff\xfe\"}", false},
      {"truncated UTF-8", "{\"a\": \"\xc3\"}", false},
      {"NUL after the value", std::string("{\"a\": 1}\0{}", 11), false},
      {"NUL inside a string", std::string("{\"a\": \"\0\"}", 10), false},
      {"escaped NUL", R"({"a": "\u0000"})", true},
      {"lone surrogate", R"({"a": "\ud800"})", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(parseJson(row.text).has_value(), row.parses);
  }
}

TEST(JsonTextTest, RefusesNestingBeyondTheLimit) {
  const auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_TRUE(parseJson(nested(kMaxJsonDepth)));
  EXPECT_FALSE(parseJson(nested(kMaxJsonDepth + 1)));
  EXPECT_FALSE(parseJson(std::string(1'000'000, '[')));
  EXPECT_FALSE(parseJson(std::string(500'000, '{') + "\"a\":"));
  // Brackets inside strings, escaped quotes included, are text.
  const std::string inString =
      "[\"" + std::string(1000, '[') + "\\\"" + std::string(1000, '{') + "\"]";
  EXPECT_TRUE(parseJson(inString));
}

// A file name that is not UTF-8 must not cost the whole document.
TEST(JsonTextTest, WritesInvalidUtf8AsReplacementCharacters) {
  const Json object = {{"path", std::string("Bilder/\xe4rger.jpg")}};
  const std::optional<std::string> text = toJSONString(object);
  ASSERT_TRUE(text);
  const std::optional<Json> readBack = parseJson(*text);
  ASSERT_TRUE(readBack);
  EXPECT_EQ(readBack->at("path"), "Bilder/\xef\xbf\xbdrger.jpg");
}

}  // namespace
}  // namespace tessellon
