#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "futures/Result.h"
#include "model/MediaMetaData.h"
#include "model/json/Json.h"

namespace tessellon {

// The media document ("images.json", "videos.json"): {"bytes", "count",
// "items"}; the summary inside "backup.json" is the same object without
// "items". Documents are written and read item by item, so a library of a
// hundred thousand photos never exists as one JSON tree.
class MediaMetaDataJson {
 public:
  // Compact text, all items in stored order; nothing only when out of memory.
  static std::optional<std::string> serializeText(const MediaMetaData& metaData);
  // The same text handed to `sink` in pieces of some 64 KiB: a caller that only hashes it never
  // holds a whole document of a hundred thousand items.
  static void writeText(const MediaMetaData& metaData,
                        const std::function<void(std::string_view)>& sink);

  // "count" and "bytes" only.
  static Json serializeSummary(const MediaMetaData& metaData);

  // Keeps the stored order and the stored counters. Fails with JsonError
  //  - invalidJsonString: the text is not a JSON object (deserializeText);
  //  - deserializationFailed: not an object, "count" or "bytes" missing or not
  //    an integer, "items" not a list;
  //  - or the error of the first item that does not read.
  // Without "items" the result is a summary.
  static Result<std::shared_ptr<MediaMetaData>> deserializeText(std::string_view text);
  static Result<std::shared_ptr<MediaMetaData>> deserialize(const Json& value);
};

}  // namespace tessellon
