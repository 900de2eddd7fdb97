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

TEST(JsonReadersTest, ReadsStrings) {
  const std::pair<const char*, std::optional<std::string>> rows[] = {
      {R"("abc")", "abc"}, {"12", "12"},           {"-3", "-3"},
      {"12.5", "12.5"},    {"true", "true"},       {R"({"a":1})", R"({"a":1})"},
      {"[1,2]", "[1,2]"},  {"null", std::nullopt}, {"absent", std::nullopt},
  };
  for (const auto& [text, expected] : rows) {
    SCOPED_TRACE(text);
    EXPECT_EQ(readString(pointer(value(text))), expected);
  }
}

TEST(JsonReadersTest, ReadsIntegersWithinRange) {
  struct Row {
    const char* text;
    std::optional<int64_t> integer;
    std::optional<int64_t> number;  // readLong: numbers only
  };
  const Row rows[] = {
      {"12", 12, 12},
      {"-3", -3, -3},
      {"12.9", 12, 12},
      {"-12.9", -12, -12},
      {R"("12")", 12, std::nullopt},
      {R"("+12")", 12, std::nullopt},
      {R"("-7")", -7, std::nullopt},
      {R"(" 12")", std::nullopt, std::nullopt},
      {R"("12a")", std::nullopt, std::nullopt},
      {R"("12.5")", std::nullopt, std::nullopt},
      {R"("")", std::nullopt, std::nullopt},
      {"true", std::nullopt, std::nullopt},
      {"[1]", std::nullopt, std::nullopt},
      {"null", std::nullopt, std::nullopt},
      {"absent", std::nullopt, std::nullopt},
      {"9223372036854775807", INT64_MAX, INT64_MAX},
      {"-9223372036854775808", INT64_MIN, INT64_MIN},
      {"9223372036854775808", std::nullopt, std::nullopt},
      {"18446744073709551615", std::nullopt, std::nullopt},
      {"1e30", std::nullopt, std::nullopt},
      {"-1e30", std::nullopt, std::nullopt},
      {R"("99999999999999999999")", std::nullopt, std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(readInteger(pointer(value(row.text))), row.integer);
    EXPECT_EQ(readLong(pointer(value(row.text))), row.number);
  }
}

TEST(JsonReadersTest, ReadsBooleansStrictly) {
  const std::pair<const char*, std::optional<bool>> rows[] = {
      {"true", true},
      {"false", false},
      {R"("true")", true},
      {R"("false")", false},
      {"1", std::nullopt},
      {"0", std::nullopt},
      {R"("TRUE")", std::nullopt},
      {R"("yes")", std::nullopt},
      {"absent", std::nullopt},
  };
  for (const auto& [text, expected] : rows) {
    SCOPED_TRACE(text);
    EXPECT_EQ(readBool(pointer(value(text))), expected);
  }
}

TEST(JsonReadersTest, ReadsDatesFromText) {
  EXPECT_EQ(readDate(pointer(value(R"("2021-03-04T10:20:30.123Z")"))), dateAt(1614853230123));
  EXPECT_FALSE(readDate(pointer(value("20210304"))));
  EXPECT_FALSE(readDate(pointer(value(R"("yesterday")"))));
  EXPECT_FALSE(readDate(pointer(value("absent"))));
}

TEST(JsonReadersTest, MemberOfAnythingButAnObjectIsAbsent) {
  const Json object = Json::parse(R"({"a": 1, "n": null})");
  EXPECT_EQ(*member(object, "a"), 1);
  EXPECT_TRUE(member(object, "n")->is_null());
  EXPECT_EQ(member(object, "b"), nullptr);
  EXPECT_EQ(member(Json::parse(R"([{"a": 1}])"), "a"), nullptr);
  EXPECT_EQ(member(Json("a"), "a"), nullptr);
}

TEST(JsonReadersTest, ToArrayFailsOnTheFirstBadElement) {
  const auto positive = [](const Json& element) -> Result<int> {
    if (!element.is_number() || element.get<int>() <= 0) {
      return makeError(JsonError::missingProperty, element.dump());
    }
    return element.get<int>();
  };
  const Json good = Json::parse("[3, 1, 2]");
  EXPECT_EQ(toArray<int>(&good, positive).value(), (std::vector<int>{3, 1, 2}));
  const Json bad = Json::parse("[3, -1, 0]");
  const auto failed = toArray<int>(&bad, positive);
  ASSERT_TRUE(failsWith(failed, JsonError::missingProperty));
  EXPECT_EQ(failed.error().message, "missingProperty(-1)");
  const Json object = Json::parse(R"({"0": 1})");
  EXPECT_TRUE(failsWith(toArray<int>(&object, positive), JsonError::deserializationFailed));
  EXPECT_TRUE(failsWith(toArray<int>(nullptr, positive), JsonError::deserializationFailed));
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

TEST(JsonTextTest, CompactAndPrettyText) {
  const Json object = Json::parse(R"({"b": [1, 2], "a": "x"})");
  const std::string compact = toJSONString(object).value();
  EXPECT_EQ(compact.find('\n'), std::string::npos);
  EXPECT_EQ(Json::parse(compact), object);
  const std::string pretty = toPrettyJSONString(object).value();
  EXPECT_NE(pretty.find("\n  \"a\": \"x\""), std::string::npos) << pretty;
  EXPECT_EQ(Json::parse(pretty), object);
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
