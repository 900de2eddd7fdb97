#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "tessellon/MediaMetaData.h"

#include "futures/Result.h"

namespace tessellon {

// Writes and reads the category documents: "images.json" and "videos.json"
// here; the item lists "contacts.json" and "calendars.json" join as their
// element types arrive. Stateless; safe to call from any thread.
class MetadataSerializerProtocol {
 public:
  static constexpr std::string_view kProtocolName = "MetadataSerializerProtocol";

  MetadataSerializerProtocol() = default;
  MetadataSerializerProtocol(const MetadataSerializerProtocol&) = delete;
  MetadataSerializerProtocol& operator=(const MetadataSerializerProtocol&) = delete;
  virtual ~MetadataSerializerProtocol() = default;

  // {"count", "bytes", "items"} as compact text, items in stored order. Fails
  // with JsonError toStringConversionFailed only when no text can be made.
  virtual Result<std::string> serialize(const MediaMetaData& metaData) = 0;

  // The document's items in stored order with its stored counters; a summary
  // when it has no "items". Fails with JsonError invalidJsonString when the text
  // is not a JSON object, deserializationFailed when "count" or "bytes" is
  // missing or not an integer or "items" is not a list, and with the error of
  // the first item that does not read (JsonError missingProperty, BackupSDKError
  // jsonDeserializationFailed).
  virtual Result<std::shared_ptr<MediaMetaData>> deserializeMediaMetaData(
      const std::string& text) = 0;
};

}  // namespace tessellon
