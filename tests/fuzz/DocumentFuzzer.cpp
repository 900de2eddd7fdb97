// Feeds arbitrary bytes to every reader of stored documents. Beyond "no crash,
// no sanitizer report", it checks what must hold for any input:
//  - a document that reads can be written, and what is written reads again;
//  - the one-pass, the streaming and the tree reader of "images.json" agree;
//  - a date that reads, written and read again, is the same instant;
//  - a "calendars.json" that reads, written and read again, holds equal calendars, its rule
//    texts, exception and added dates and zone definitions included.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "model/json/BackupSerializer.h"
#include "model/json/CalendarEntryJson.h"
#include "model/json/ItemsMetaDataJson.h"
#include "model/json/JsonReaders.h"
#include "model/json/JsonText.h"
#include "model/json/MediaMetaDataJson.h"
#include "model/json/MetadataSerializer.h"
#include "platform/text/DateText.h"

namespace tessellon {

// An element type for the generic item lists, reading like the real ones do:
// required texts, lenient numbers, a nested list.
struct FuzzEntry {
  std::string title;
  std::optional<int64_t> start;
  std::vector<std::string> tags;
  friend bool operator==(const FuzzEntry&, const FuzzEntry&) = default;
};

template <>
struct ItemJson<FuzzEntry> {
  static constexpr const char* kListKey = "entries";
  static std::optional<Json> serialize(const FuzzEntry& entry) {
    Json object{{"title", entry.title}, {"tags", entry.tags}};
    if (entry.start) object["start"] = *entry.start;
    return object;
  }
  static Result<std::shared_ptr<FuzzEntry>> deserialize(const Json& value) {
    std::optional<std::string> title = readString(member(value, "title"));
    if (!title) return makeError(JsonError::missingProperty, "title");
    auto tags =
        toArray<std::string>(member(value, "tags"), [](const Json& tag) -> Result<std::string> {
          if (auto text = readString(&tag)) return *text;
          return makeError(JsonError::stringIsNil);
        });
    auto entry = std::make_shared<FuzzEntry>();
    entry->title = std::move(*title);
    entry->start = readInteger(member(value, "start"));
    if (tags.ok()) entry->tags = std::move(tags).value();
    return entry;
  }
};

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

void fuzzBackup(const std::string& text) {
  BackupSerializer serializer([] { return std::string("fuzz-device"); });
  const auto backup = serializer.deserialize(text);
  if (!backup.ok()) return;
  const auto written = serializer.serialize(*backup.value());
  require(written.ok());
  const auto again = serializer.deserialize(written.value());
  require(again.ok());
  require(again.value()->startDate == backup.value()->startDate);
  require(*again.value()->version == *backup.value()->version);
}

void fuzzMedia(const std::string& text) {
  MetadataSerializer serializer;
  const auto streamed = serializer.deserializeMediaMetaData(text);
  const std::optional<Json> tree = parseJson(text);
  if (tree && tree->is_object()) {
    const auto fromTree = MediaMetaDataJson::deserialize(*tree);
    require(fromTree.ok() == streamed.ok());
    if (streamed.ok()) {
      // The one-pass reader of our own form and the tree reader give the same items.
      require(serializer.serialize(*streamed.value()).value() ==
              serializer.serialize(*fromTree.value()).value());
    } else {
      require(fromTree.error().domain == streamed.error().domain);
      require(fromTree.error().code == streamed.error().code);
    }
  } else {
    require(!streamed.ok());
  }
  if (!streamed.ok()) return;
  const auto written = serializer.serialize(*streamed.value());
  require(written.ok());
  const auto again = serializer.deserializeMediaMetaData(written.value());
  require(again.ok());
  require(again.value()->count == streamed.value()->count);
  require(again.value()->items.has_value() == streamed.value()->items.has_value() ||
          !streamed.value()->items);
}

void fuzzItemList(const std::string& text) {
  const std::optional<Json> tree = parseJson(text);
  if (!tree) return;
  const auto entries = ItemsMetaDataJson<FuzzEntry>::deserialize(*tree);
  if (!entries.ok()) return;
  const auto again = ItemsMetaDataJson<FuzzEntry>::deserialize(
      parseJson(toJSONString(ItemsMetaDataJson<FuzzEntry>::serialize(*entries.value())).value())
          .value());
  require(again.ok());
  require(again.value()->count == entries.value()->count);
}

void fuzzCalendars(const std::string& text) {
  const std::optional<Json> tree = parseJson(text);
  if (!tree) return;
  const auto calendars = ItemsMetaDataJson<CalendarEntry>::deserialize(*tree);
  if (!calendars.ok() || !calendars.value()->items) return;
  const auto again = ItemsMetaDataJson<CalendarEntry>::deserialize(
      parseJson(
          toJSONString(ItemsMetaDataJson<CalendarEntry>::serialize(*calendars.value())).value())
          .value());
  require(again.ok());
  require(again.value()->items.has_value());
  require(again.value()->items->size() == calendars.value()->items->size());
  for (size_t index = 0; index < calendars.value()->items->size(); ++index) {
    const auto& before = (*calendars.value()->items)[index];
    const auto& after = (*again.value()->items)[index];
    require(before->id == after->id && *before == *after);
  }
}

void fuzzDate(const std::string& text) {
  const std::optional<Date> date = toDate(text);
  if (!date) return;
  // Years 2 to 9998 stay four-digit years in any time zone.
  const int64_t milliseconds = date->time_since_epoch().count();
  if (milliseconds < -62100000000000 || milliseconds > 253300000000000) return;
  require(toDate(toString(*date)) == date);
}

}  // namespace
}  // namespace tessellon

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  tessellon::fuzzBackup(text);
  tessellon::fuzzMedia(text);
  tessellon::fuzzItemList(text);
  tessellon::fuzzDate(text);
  tessellon::fuzzCalendars(text);
  return 0;
}
