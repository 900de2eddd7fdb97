#include "model/json/MetadataSerializer.h"

#include <gtest/gtest.h>

#include "model/ModelTestSupport.h"
#include "model/json/Json.h"
#include "model/json/JsonText.h"
#include "model/json/MediaItemJson.h"
#include "platform/text/DateText.h"

namespace tessellon {
namespace {

class MetadataSerializerTest : public ::testing::Test {
 protected:
  std::shared_ptr<MediaMetaData> read(const std::string& text) {
    auto result = serializer_.deserializeMediaMetaData(text);
    EXPECT_TRUE(result.ok()) << (result.ok() ? "" : describe(result.error()));
    return result.ok() ? result.value() : nullptr;
  }
  std::string write(const MediaMetaData& metaData) {
    auto text = serializer_.serialize(metaData);
    EXPECT_TRUE(text.ok());
    return text.ok() ? text.value() : "";
  }
  // A one-item document whose item has `key` replaced (or removed, for null).
  static std::string itemWith(const std::string& key, const Json& value) {
    Json item = Json::parse(R"({"fileExtension": "jpg", "bytes": 10, "id": "a.jpg",
        "modificationDate": "2021-03-04T10:20:30.123Z", "fingerprint": "1.1_abcdef",
        "pathDictionary": {"macOSPaths": ["a.jpg"]}})");
    value.is_null() ? (void)item.erase(key) : (void)(item[key] = value);
    return Json{{"count", 1}, {"bytes", 10}, {"items", Json::array({item})}}.dump();
  }

  ScopedTimeZone utc_{"UTC"};
  MetadataSerializer serializer_;
};

TEST_F(MetadataSerializerTest, GoldenDocumentReadsInStoredOrderAndWritesBackUnchanged) {
  const auto images = read(readTestData("images.json"));
  ASSERT_TRUE(images);
  EXPECT_EQ(images->count, 3);
  ASSERT_EQ(images->items->size(), 3u);
  EXPECT_EQ(images->items->at(0)->getRemoteFileName(), "1.1_0cc175b9c0f1b6a831c399e269772661");
  const MediaItem& second = *images->items->at(1);
  EXPECT_EQ(second.bytes, 1048576);
  EXPECT_EQ(second.modificationDate, dateAt(1565891112250));
  EXPECT_EQ(second.paths(),
            (std::vector<std::string>{"2019/Urlaub/IMG_0001.jpg", "Kopien/IMG_0001.jpg"}));
  EXPECT_EQ(images->items->at(2)->fileExtension, "HEIC");
  expectGolden("images.json", Json::parse(write(*images)));
}

TEST_F(MetadataSerializerTest, RoundTripKeepsItemsAndLeavesOutMissingFingerprints) {
  ScopedTimeZone berlin("Europe/Berlin");
  MediaMetaData metaData({std::make_shared<MediaItem>("mov", 5, "b.mov", dateAt(-1), std::nullopt,
                                                      std::vector<std::string>{"b.mov"}),
                          std::make_shared<MediaItem>("jpg", 3, "a.jpg", dateAt(1625394030007),
                                                      "1.1_f", std::vector<std::string>{})});
  const std::string text = write(metaData);
  EXPECT_EQ(text.find('\n'), std::string::npos);
  EXPECT_EQ(Json::parse(text).at("items").at(1).count("fingerprint"), 0u);

  const auto readBack = read(text);
  ASSERT_TRUE(readBack);
  EXPECT_EQ(write(*readBack), text);
  EXPECT_EQ(readBack->items->at(1)->modificationDate, dateAt(-1));  // exact, not just ==
}

// The writer builds item text itself: it must match the JSON library's byte for byte.
TEST_F(MetadataSerializerTest, WritesItemTextAsTheJsonLibraryWould) {
  for (const std::string& name :
       {std::string("q\"uote\\back/slash.jpg"), std::string("tab\tnew\nline\x01.jpg"),
        std::string("K\xc3\xa4se \xe2\x82\xac.jpg"), std::string("bad\xff\xc3.jpg"),
        std::string()}) {
    auto item = std::make_shared<MediaItem>("jpg", 7, name, dateAt(1625394030007), "1.1_" + name,
                                            std::vector<std::string>{name, "x.jpg"});
    // Keys on both sides of this platform's, which the writer places among them.
    item->otherPaths = std::make_shared<const MediaItem::PathDictionary>(
        MediaItem::PathDictionary{{"androidPaths", {name}}, {"zPaths", {}}});
    Json expected = {
        {"fileExtension", "jpg"},
        {"bytes", 7},
        {"id", name},
        {"modificationDate", toString(item->modificationDate)},
        {"fingerprint", "1.1_" + name},
        {"pathDictionary",
         {{"androidPaths", {name}}, {"macOSPaths", item->paths()}, {"zPaths", Json::array()}}}};
    if (!name.empty()) {
      item->checksum = "xxh3-128:" + name;
      expected["checksum"] = *item->checksum;
    }
    const Json document = {{"bytes", 7}, {"count", 1}, {"items", Json::array({expected})}};
    EXPECT_EQ(write(MediaMetaData({item})), toJSONString(document).value()) << name;
    // The size reserved for a plain item covers its text, with little to spare.
    std::string text;
    MediaItemJson::appendText(*item, text);
    if (name.find_first_of("\"\\\t\n\x01") == std::string::npos) {
      EXPECT_GE(MediaItemJson::plainTextSize(*item), text.size()) << name;
      EXPECT_LE(MediaItemJson::plainTextSize(*item), text.size() + 24) << name;
    }
  }
}

TEST_F(MetadataSerializerTest, ConvertsPhonePathsAndNormalisesMacPaths) {
  const auto media = read(readTestData("images-from-phones.json"));
  ASSERT_TRUE(media);
  const auto& items = *media->items;
  EXPECT_EQ(items[0]->paths(),
            std::vector<std::string>{"Restore/storage/emulated/0/DCIM/Camera/IMG_1.jpg"});
  EXPECT_EQ(items[0]->otherPaths->at("androidPaths").size(), 1u);  // kept as written
  EXPECT_EQ(items[1]->paths(), (std::vector<std::string>{"Restore/Ferien_ Italien/12345.heic",
                                                         "Restore/Favoriten/12345.heic"}));
  EXPECT_EQ(items[2]->paths(),
            (std::vector<std::string>{"Screens/2022/shot.png", "Restore/fffff.png"}));
  EXPECT_EQ(items[2]->id, "1.1_00000000000000000000000000fffff");  // no "id": the fingerprint
  EXPECT_EQ(items[3]->paths(), std::vector<std::string>{"_absolute/clip.mov_"});
  EXPECT_EQ(items[3]->id, "");
  EXPECT_EQ(items[3]->modificationDate, dateAt(1641081600000));

  // Converted paths are stored; reading the document again adds none twice.
  const auto again = read(write(*media));
  ASSERT_TRUE(again);
  for (size_t i = 0; i < items.size(); ++i)
    EXPECT_EQ(again->items->at(i)->paths(), items[i]->paths());
}

TEST_F(MetadataSerializerTest, MalformedDocumentsFailWithTheNamedError) {
  const Error notJson = makeError(JsonError::invalidJsonString);
  const Error badList = makeError(JsonError::deserializationFailed);
  const Error badItem = makeError(JsonError::missingProperty);
  const Error badPaths = makeError(BackupSDKError::jsonDeserializationFailed);
  const std::tuple<const char*, std::string, Error> rows[] = {
      {"not JSON", "{\"count\": 1,", notJson},
      {"a list", R"([{"count": 1, "bytes": 1}])", notJson},
      {"no count", R"({"bytes": 1, "items": []})", badList},
      {"negative count", R"({"count": -1, "bytes": 1})", badList},
      {"bytes too large", R"({"count": 1, "bytes": 1e300})", badList},
      {"items an object", R"({"count": 1, "bytes": 1, "items": {}})", badList},
      {"item not an object", R"({"count": 1, "bytes": 1, "items": ["a.jpg"]})", badList},
      {"no fileExtension", itemWith("fileExtension", nullptr), badItem},
      {"bytes a word", itemWith("bytes", "ten"), badItem},
      {"modificationDate garbage", itemWith("modificationDate", "soon"), badItem},
      {"no pathDictionary", itemWith("pathDictionary", nullptr), badPaths},
      {"paths a string", itemWith("pathDictionary", Json{{"macOSPaths", "a.jpg"}}), badPaths},
      {"path a number", itemWith("pathDictionary", Json::parse(R"({"macOSPaths": ["a", 1]})")),
       badPaths},
  };
  for (const auto& [name, text, expected] : rows) {
    SCOPED_TRACE(name);
    const auto result = serializer_.deserializeMediaMetaData(text);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().domain, expected.domain);
    EXPECT_EQ(result.error().code, expected.code);
  }
}

}  // namespace
}  // namespace tessellon
