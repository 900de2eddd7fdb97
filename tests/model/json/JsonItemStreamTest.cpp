#include "model/json/JsonItemStream.h"

#include <gtest/gtest.h>

#include "model/json/JsonText.h"

namespace tessellon {
namespace {

// Parses `text` and records what reached the handlers.
struct Streamed {
  explicit Streamed(std::string_view text) {
    document = JsonItemStream::parse(text, "items",
                                     {[this] {
                                        ++starts;
                                        elements.clear();
                                      },
                                      [this](Json&& element) { elements.push_back(element); }});
  }
  std::optional<Json> document;
  std::vector<Json> elements;
  int starts = 0;
};

TEST(JsonItemStreamTest, HandsOnTheTopLevelListElementByElement) {
  const Streamed streamed(
      R"({"count": 3, "items": [{"a": [1, {"items": [9]}]}, "x", [2, 3], null], "z": {"items": [4]}})");
  ASSERT_TRUE(streamed.document);
  EXPECT_EQ(*streamed.document, Json::parse(R"({"count": 3, "items": [], "z": {"items": [4]}})"));
  EXPECT_EQ(streamed.elements, (std::vector<Json>{Json::parse(R"({"a": [1, {"items": [9]}]})"), "x",
                                                  Json::parse("[2, 3]"), nullptr}));
  EXPECT_EQ(streamed.starts, 1);
}

TEST(JsonItemStreamTest, RefusesWhatTheParserRefuses) {
  const std::string nested = std::string(kMaxJsonDepth, '[') + std::string(kMaxJsonDepth, ']');
  EXPECT_TRUE(Streamed(nested).document);
  const std::string tooDeep = "{\"items\": [" + std::string(kMaxJsonDepth, '[') + "]}";
  EXPECT_FALSE(Streamed(tooDeep).document);
  EXPECT_FALSE(Streamed(std::string(2'000'000, '[')).document);
  EXPECT_FALSE(Streamed(std::string("{\"items\": []}\0{}", 16)).document);
  EXPECT_FALSE(Streamed("{\"items\": [\"\xff\"]}").document);
  EXPECT_FALSE(Streamed(R"({"items": [1, 2)").document);
  EXPECT_FALSE(Streamed("").document);
}

}  // namespace
}  // namespace tessellon
