#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "futures/Result.h"
#include "model/ItemsMetaData.h"
#include "model/MediaMetaData.h"
#include "platform/calendar/CalendarEntry.h"
#include "platform/contacts/Contact.h"

namespace tessellon {

// Writes and reads the category documents over the JSON library: "images.json", "videos.json",
// "contacts.json" and "calendars.json". Stateless; safe to call from any thread.
class MetadataSerializer final {
 public:
  static constexpr std::string_view kProtocolName = "MetadataSerializer";
  MetadataSerializer() = default;

  // {"count", "bytes", "items"} as compact text, items in stored order. Fails
  // with JsonError toStringConversionFailed only when no text can be made.
  Result<std::string> serialize(const MediaMetaData& metaData);
  // The document's items in stored order with its stored counters; a summary
  // when it has no "items". Fails with JsonError invalidJsonString when the text
  // is not a JSON object, deserializationFailed when "count" or "bytes" is
  // missing or not an integer or "items" is not a list, and with the error of
  // the first item that does not read (JsonError missingProperty, BackupSDKError
  // jsonDeserializationFailed).
  Result<std::shared_ptr<MediaMetaData>> deserializeMediaMetaData(const std::string& text);
  // {"count", "bytes", "contacts" / "calendars"} as compact text; the list is
  // left out when there are no items.
  Result<std::string> serialize(const ItemsMetaData<Contact>& metaData);
  Result<std::string> serialize(const ItemsMetaData<CalendarEntry>& metaData);
  // Fail as deserializeMediaMetaData does, with the element's error for an
  // element that does not read.
  Result<std::shared_ptr<ItemsMetaData<Contact>>> deserializeContacts(const std::string& text);
  Result<std::shared_ptr<ItemsMetaData<CalendarEntry>>> deserializeCalendars(
      const std::string& text);
};

}  // namespace tessellon
