#include "model/json/MetadataSerializer.h"

#include "model/json/CalendarEntryJson.h"
#include "model/json/ContactJson.h"
#include "model/json/ItemsMetaDataJson.h"
#include "model/json/JsonError.h"
#include "model/json/JsonText.h"
#include "model/json/MediaMetaDataJson.h"

namespace tessellon {
namespace {

template <class T>
Result<std::string> itemsText(const ItemsMetaData<T>& metaData, const char* what) {
  std::optional<std::string> text = toJSONString(ItemsMetaDataJson<T>::serialize(metaData));
  if (!text) return makeError(JsonError::toStringConversionFailed, what);
  return std::move(*text);
}

template <class T>
Result<std::shared_ptr<ItemsMetaData<T>>> itemsFromText(const std::string& text) {
  std::optional<Json> value = parseJson(text);
  if (!value || !value->is_object()) {
    return makeError(JsonError::invalidJsonString, "not a JSON object");
  }
  Result<std::shared_ptr<ItemsMetaData<T>>> metaData = ItemsMetaDataJson<T>::deserialize(*value);
  // A missing counter makes the document unreadable as a whole.
  if (!metaData.ok() && metaData.error().domain == "JsonError" &&
      metaData.error().code == static_cast<int>(JsonError::missingProperty)) {
    return makeError(JsonError::deserializationFailed, metaData.error().message);
  }
  return metaData;
}

}  // namespace

Result<std::string> MetadataSerializer::serialize(const MediaMetaData& metaData) {
  std::optional<std::string> text = MediaMetaDataJson::serializeText(metaData);
  if (!text) return makeError(JsonError::toStringConversionFailed, "media metadata");
  return std::move(*text);
}

Result<std::shared_ptr<MediaMetaData>> MetadataSerializer::deserializeMediaMetaData(
    const std::string& text) {
  return MediaMetaDataJson::deserializeText(text);
}

Result<std::string> MetadataSerializer::serialize(const ItemsMetaData<Contact>& metaData) {
  return itemsText(metaData, "contacts");
}

Result<std::string> MetadataSerializer::serialize(const ItemsMetaData<CalendarEntry>& metaData) {
  return itemsText(metaData, "calendars");
}

Result<std::shared_ptr<ItemsMetaData<Contact>>> MetadataSerializer::deserializeContacts(
    const std::string& text) {
  return itemsFromText<Contact>(text);
}

Result<std::shared_ptr<ItemsMetaData<CalendarEntry>>> MetadataSerializer::deserializeCalendars(
    const std::string& text) {
  return itemsFromText<CalendarEntry>(text);
}

}  // namespace tessellon
