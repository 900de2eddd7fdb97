#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/ModelTestSupport.h"
#include "model/json/Json.h"
#include "model/json/JsonText.h"
#include "model/json/MediaListReader.h"
#include "model/json/MediaMetaDataJson.h"

namespace tessellon {
namespace {

// Large documents are read by two threads, split at a guessed item boundary past the middle.
// Paths full of braces and commas put false boundaries inside strings around every middle.
Json largeDocument(int count) {
  Json items = Json::array();
  for (int n = 0; n < count; ++n) {
    const std::string path = "album },{ " + std::to_string(n) + "/},{\"x\"}, {Käse}.jpg";
    items.push_back({{"bytes", n},
                     {"fileExtension", "jpg"},
                     {"fingerprint", "1.1_" + std::to_string(n)},
                     {"id", path},
                     {"modificationDate", "2021-03-04T10:20:30.123Z"},
                     {"pathDictionary", {{"macOSPaths", {path, path + "},{"}}}}});
  }
  return Json{{"bytes", 1}, {"count", count}, {"items", items}};
}

std::string viaTree(const std::string& text) {
  const auto read = MediaMetaDataJson::deserialize(parseJson(text).value());
  EXPECT_TRUE(read.ok());
  return read.ok() ? MediaMetaDataJson::serializeText(*read.value()).value() : "";
}

class MediaListReaderSplitTest : public ::testing::Test {
 protected:
  ScopedTimeZone utc_{"UTC"};
};

TEST_F(MediaListReaderSplitTest, ALargeDocumentReadsIntoTheItemsOfTheGeneralParser) {
  const Json document = largeDocument(30000);
  // Compact and indented; the quotes in the paths are escaped, so only the general parser may
  // read those texts, which the reader must notice whatever its second thread found.
  Json unescaped = document;
  for (auto& item : unescaped["items"]) {
    std::string id = item["id"];
    std::erase(id, '"');
    item["id"] = id;
    item["pathDictionary"]["macOSPaths"] = {id};
  }
  for (const std::string& text : {unescaped.dump(), unescaped.dump(2)}) {
    ASSERT_GT(text.size(), size_t{4} << 20);
    const std::string expected = viaTree(text);
    for (int round = 0; round < 3; ++round) {
      const auto read = MediaListReader::read(text);
      ASSERT_TRUE(read);
      ASSERT_EQ((*read)->items->size(), 30000u);
      EXPECT_EQ(MediaMetaDataJson::serializeText(**read).value(), expected);
    }
  }
  EXPECT_FALSE(MediaListReader::read(document.dump()));
}

TEST_F(MediaListReaderSplitTest, AnItemTheReaderRefusesInEitherHalfLeavesTheWholeText) {
  for (const int bad : {100, 29900}) {
    Json document = largeDocument(30000);
    for (auto& item : document["items"]) item["id"] = "plain.jpg";
    for (auto& item : document["items"]) item["pathDictionary"]["macOSPaths"] = {"plain.jpg"};
    document["items"][bad]["unknown"] = true;
    const std::string text = document.dump();
    ASSERT_GT(text.size(), size_t{4} << 20);
    EXPECT_FALSE(MediaListReader::read(text)) << bad;
  }
}

}  // namespace
}  // namespace tessellon
