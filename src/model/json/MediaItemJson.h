#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "futures/Result.h"
#include "model/MediaItem.h"
#include "model/json/Json.h"

namespace tessellon {

// One item object of "images.json" / "videos.json":
// {"fileExtension", "bytes", "id", "modificationDate", "fingerprint"?, "checksum"?,
//  "pathDictionary": {"macOSPaths": [...], ...}}.
class MediaItemJson {
 public:
  // Appends the item's compact text, byte for byte what the JSON library writes for the item's
  // object, without building that object: a document holds a hundred thousand of them.
  static void appendText(const MediaItem& item, std::string& out);
  // The length of that text when nothing in it needs escaping: what a document reserves, since
  // growing a text of many megabytes by doubling touches three times its size in fresh memory.
  static size_t plainTextSize(const MediaItem& item);

  // Fails with JsonError::missingProperty for a missing "fileExtension",
  // "bytes" or "modificationDate", and with BackupSDKError
  // jsonDeserializationFailed when "pathDictionary" is not an object of string
  // lists. Paths written by phones ("androidPaths", "iOSAlbums") are added to
  // the Mac paths under "Restore/", and every Mac path is normalised.
  static Result<std::shared_ptr<MediaItem>> deserialize(const Json& value);

  // The item of values read from a document (`paths` under kMacOSPathsKey, `otherPaths` under
  // the other keys), with the phone paths added and the Mac paths normalised as deserialize does.
  static std::shared_ptr<MediaItem> make(std::string fileExtension, int64_t bytes, std::string id,
                                         Date modificationDate,
                                         std::optional<std::string> fingerprint,
                                         std::vector<std::string> paths,
                                         MediaItem::PathDictionary otherPaths);
};

}  // namespace tessellon
