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
      {R"("abc")", "abc"},
      {"-3", "-3"},
      {"12.5", "12.5"},
      {"true", "true"},
      {"null", none},
      {"absent", none},
      {R"({"a":1})", R"({"a":1})"}};
  for (const auto& [text, expected] : strings) {
    EXPECT_EQ(readString(pointer(value(text))), expected) << text;
  }
  const std::pair<const char*, std::optional<bool>> booleans[] = {
      {"false", false}, {R"("true")", true}, {R"("false")", false},
      {"1", none},      {R"("TRUE")", none}, {"absent", none},
  };
  for (const auto& [text, expected] : booleans) {
    EXPECT_EQ(readBool(pointer(value(text))), expected) << text;
  }
}

// readInteger also takes decimal text; readLong takes numbers only.
TEST(JsonReadersTest, ReadsIntegersWithinRange) {
  const std::tuple<const char*, std::optional<int64_t>, std::optional<int64_t>> rows[] = {
      {"12", 12, 12},
      {"12.9", 12, 12},
      {"-12.9", -12, -12},
      {R"("12")", 12, none},
      {R"("-7")", -7, none},
      {"9223372036854775807", INT64_MAX, INT64_MAX},
      {"-9223372036854775808", INT64_MIN, INT64_MIN},
  };
  for (const auto& [text, integer, number] : rows) {
    SCOPED_TRACE(text);
    EXPECT_EQ(readInteger(pointer(value(text))), integer);
    EXPECT_EQ(readLong(pointer(value(text))), number);
  }
  for (const char* text :
       {R"(" 12")", R"("12a")", R"("12.5")", "true", "null", "absent", "9223372036854775808",
        "18446744073709551615", "-1e30", R"("99999999999999999999")"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(readInteger(pointer(value(text))));
    EXPECT_FALSE(readLong(pointer(value(text))));
  }
}

TEST(JsonTextTest, ParsesOnlyWellFormedUtf8Json) {
  struct Row {
    const char* name;
    std::string text;
    bool parses;
  };
  const Row rows[] = {
      {"scalar", "12", true},
      {"trailing comma", R"({"a": 1,})", false},
      {"two values", "{} {}", false},
      {"comment", "{} // note", false},
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
  EXPECT_FALSE(parseJson(std::string(500'000, '{') + "\"a\":"));
  // Brackets inside strings, escaped quotes included, are text.
  const std::string inString =
      "[\"" + std::string(1000, '[') + "\\\"" + std::string(1000, '{') + "\"]";
  EXPECT_TRUE(parseJson(inString));
}

}  // namespace
}  // namespace tessellon
