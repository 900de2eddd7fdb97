#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "model/MediaMetaData.h"

namespace tessellon {

// Reads a media document in the form this library writes it (compact or not, members in any
// order, strings without escapes) in one pass, straight into items: a hundred thousand items
// are read in a fraction of the general parser's time. Anything else (escapes, null members,
// unknown keys, lenient values, malformed text) gives nothing, and the caller reads the text
// with the general parser, which decides on it and words its errors. What this reader accepts,
// it reads into exactly the items the general parser would.
class MediaListReader {
 public:
  static std::optional<std::shared_ptr<MediaMetaData>> read(std::string_view text);
};

}  // namespace tessellon
