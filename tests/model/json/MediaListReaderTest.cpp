#include "model/json/MediaListReader.h"

#include <gtest/gtest.h>

#include "model/ModelTestSupport.h"
#include "model/json/Json.h"
#include "model/json/JsonText.h"
#include "model/json/MediaMetaDataJson.h"

namespace tessellon {
namespace {

// What the general (tree) reader makes of a text, written back: the reference for the
// one-pass reader.
std::string viaTree(const std::string& text) {
  const auto read = MediaMetaDataJson::deserialize(parseJson(text).value());
  EXPECT_TRUE(read.ok()) << text;
  return read.ok() ? MediaMetaDataJson::serializeText(*read.value()).value() : "";
}

std::string document(const Json& item) {
  return Json{{"bytes", 10}, {"count", 1}, {"items", Json::array({item})}}.dump(2);
}

constexpr const char* kChecksum = "xxh3-128:99aa06d3014798d86001c324468d497f";

Json plainItem() {
  return Json::parse(R"({"fileExtension": "jpg", "bytes": 10, "id": "a.jpg",
      "modificationDate": "2021-03-04T10:20:30.123Z", "fingerprint": "1.1_abcdef",
      "pathDictionary": {"macOSPaths": ["a.jpg"]}})");
}

class MediaListReaderTest : public ::testing::Test {
 protected:
  ScopedTimeZone berlin_{"Europe/Berlin"};
};

TEST_F(MediaListReaderTest, ReadsOurDocumentsIntoTheItemsTheTreeReaderMakes) {
  auto phone = plainItem();
  phone.erase("id");
  phone["pathDictionary"] = {{"androidPaths", {"DCIM/Camera/b.jpg"}},
                             {"iOSAlbums", Json::array()},
                             {"macOSPaths", {"/2019//Käse €.jpg/"}}};
  auto noFingerprint = plainItem();
  noFingerprint.erase("fingerprint");
  noFingerprint["bytes"] = -3;
  const MediaMetaData written({std::make_shared<MediaItem>(
      "HEIC", 1 << 20, "x/y.HEIC", dateAt(-1), "2.0_ff", std::vector<std::string>{"x/y.HEIC"})});

  auto checked = plainItem();
  checked["checksum"] = kChecksum;

  for (const std::string& text :
       {document(phone), document(noFingerprint), MediaMetaDataJson::serializeText(written).value(),
        std::string(R"( {"items" : [ ] , "count":0,"bytes":0} )"), document(checked)}) {
    const auto read = MediaListReader::read(text);
    ASSERT_TRUE(read) << text;
    EXPECT_EQ(MediaMetaDataJson::serializeText(**read).value(), viaTree(text)) << text;
  }
  EXPECT_EQ(MediaListReader::read(document(checked)).value()->items->at(0)->checksum, kChecksum);
}

// Whatever the one-pass reader leaves to the general parser must still read there, with the
// general parser's lenient rules and its errors.
TEST_F(MediaListReaderTest, LeavesEverythingElseToTheGeneralParser) {
  const std::vector<std::pair<std::string, Json>> variants = {
      {"id", "escaped \u00e4 \"quoted\""},  // written with escapes below
      {"fingerprint", nullptr},
      {"bytes", "10"},
      {"bytes", 10.0},
      {"extra", true},
      {"checksum", 12},  // ours, optional: a value of another kind is ignored
  };
  for (const auto& [key, value] : variants) {
    Json item = plainItem();
    item[key] = value;
    std::string text = document(item);
    if (key == "id") text = Json{{"bytes", 1}, {"count", 1}, {"items", {item}}}.dump(-1, ' ', true);
    EXPECT_FALSE(MediaListReader::read(text)) << text;
    const auto general = MediaMetaDataJson::deserializeText(text);
    ASSERT_TRUE(general.ok()) << text;
    EXPECT_EQ(MediaMetaDataJson::serializeText(*general.value()).value(), viaTree(text));
    EXPECT_EQ(general.value()->items->at(0)->checksum, std::nullopt) << text;
  }

  const std::string good = document(plainItem());
  for (const std::string& bad :
       {good.substr(0, good.size() - 2), good + "x",
        std::string(R"({"bytes":1,"count":-1,"items":[]})"),
        std::string(R"({"bytes":1,"bytes":2,"count":0,"items":[]})"),
        std::string("{\"bytes\":1,\"count\":1,\"items\":[{\"id\":\"\xff\"}]}"),
        std::string(R"({"bytes":1,"count":0,"items":[]})") + '\0'}) {
    EXPECT_FALSE(MediaListReader::read(bad)) << bad;
  }
  EXPECT_FALSE(MediaMetaDataJson::deserializeText(good.substr(0, good.size() - 2)).ok());
  const auto duplicate =
      MediaMetaDataJson::deserializeText(R"({"bytes":1,"bytes":2,"count":0,"items":[]})");
  ASSERT_TRUE(duplicate.ok());
  EXPECT_EQ(duplicate.value()->bytes, 2);  // the general parser's rule: the last one wins
}

}  // namespace
}  // namespace tessellon
