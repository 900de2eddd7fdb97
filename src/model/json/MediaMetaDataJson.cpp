#include "model/json/MediaMetaDataJson.h"

#include <functional>
#include <limits>

#include "model/json/JsonError.h"
#include "model/json/JsonItemStream.h"
#include "model/json/JsonReaders.h"
#include "model/json/JsonText.h"
#include "model/json/MediaItemJson.h"
#include "model/json/MediaListReader.h"

namespace tessellon {
namespace {

constexpr const char* kItemsKey = "items";

// The items of a document, read one element at a time; the first failure is
// kept and later elements are skipped.
struct ItemCollector {
  MediaMetaData::Items items;
  std::optional<Error> failure;

  void restart() {
    items.clear();
    failure.reset();
  }
  void add(const Json& element) {
    if (failure) return;
    Result<std::shared_ptr<MediaItem>> item = MediaItemJson::deserialize(element);
    if (item.ok()) {
      items.push_back(std::move(item).value());
    } else {
      failure = item.error();
    }
  }
};

// The checks of a document in their order: counters first, then the list.
Result<std::shared_ptr<MediaMetaData>> assemble(const Json& value, ItemCollector* streamed) {
  if (!value.is_object()) return makeError(JsonError::deserializationFailed, "not an object");
  const std::optional<int64_t> count = readInteger(member(value, "count"));
  if (!count || *count < 0 || *count > std::numeric_limits<int>::max()) {
    return makeError(JsonError::deserializationFailed, "count");
  }
  const std::optional<int64_t> bytes = readInteger(member(value, "bytes"));
  if (!bytes) return makeError(JsonError::deserializationFailed, "bytes");

  const Json* list = member(value, kItemsKey);
  if (list == nullptr || list->is_null()) {
    return MediaMetaData::stored(std::nullopt, static_cast<int>(*count), *bytes);
  }
  if (!list->is_array()) return makeError(JsonError::deserializationFailed, "items");
  ItemCollector inTree;
  ItemCollector& collected = streamed != nullptr ? *streamed : inTree;
  for (const Json& element : *list) collected.add(element);
  if (collected.failure) return *collected.failure;
  return MediaMetaData::stored(std::move(collected.items), static_cast<int>(*count), *bytes);
}

}  // namespace

std::optional<std::string> MediaMetaDataJson::serializeText(const MediaMetaData& metaData) {
  std::string text;
  size_t size = 64;
  if (metaData.items) {
    for (const auto& item : *metaData.items) size += MediaItemJson::plainTextSize(*item) + 1;
  }
  text.reserve(size);
  writeText(metaData, [&text](std::string_view piece) { text.append(piece); });
  return text;
}

void MediaMetaDataJson::writeText(const MediaMetaData& metaData,
                                  const std::function<void(std::string_view)>& sink) {
  constexpr size_t kPiece = size_t{64} * 1024;
  std::string text;
  text.reserve(kPiece + 1024);
  text.append(R"({"bytes":)").append(std::to_string(metaData.bytes));
  text.append(R"(,"count":)").append(std::to_string(metaData.count));
  text.append(R"(,"items":[)");
  if (metaData.items) {
    bool first = true;
    for (const auto& item : *metaData.items) {
      if (!first) text.push_back(',');
      MediaItemJson::appendText(*item, text);
      first = false;
      if (text.size() >= kPiece) {
        sink(text);
        text.clear();
      }
    }
  }
  text.append("]}");
  sink(text);
}

Json MediaMetaDataJson::serializeSummary(const MediaMetaData& metaData) {
  return Json{{"count", metaData.count}, {"bytes", metaData.bytes}};
}

Result<std::shared_ptr<MediaMetaData>> MediaMetaDataJson::deserializeText(std::string_view text) {
  // Our own documents take the one-pass reader; anything it does not handle takes the general
  // parser, which also words the errors.
  if (std::optional<std::shared_ptr<MediaMetaData>> read = MediaListReader::read(text)) {
    return *std::move(read);
  }
  ItemCollector collector;
  const std::optional<Json> document =
      JsonItemStream::parse(text, kItemsKey,
                            {[&collector] { collector.restart(); },
                             [&collector](Json&& element) { collector.add(element); }});
  if (!document || !document->is_object()) {
    return makeError(JsonError::invalidJsonString, "media metadata is not a JSON object");
  }
  return assemble(*document, &collector);
}

Result<std::shared_ptr<MediaMetaData>> MediaMetaDataJson::deserialize(const Json& value) {
  return assemble(value, nullptr);
}

}  // namespace tessellon
