#pragma once

#include <memory>

#include "tessellon/MediaItem.h"

#include "futures/Result.h"
#include "model/json/Json.h"

namespace tessellon {

// One item object of "images.json" / "videos.json":
// {"fileExtension", "bytes", "id", "modificationDate", "fingerprint"?,
//  "pathDictionary": {"macOSPaths": [...], ...}}.
class MediaItemJson {
 public:
  static Json serialize(const MediaItem& item);

  // Fails with JsonError::missingProperty for a missing "fileExtension",
  // "bytes" or "modificationDate", and with BackupSDKError
  // jsonDeserializationFailed when "pathDictionary" is not an object of string
  // lists. Paths written by phones ("androidPaths", "iOSAlbums") are added to
  // the Mac paths under "Restore/", and every Mac path is normalised.
  static Result<std::shared_ptr<MediaItem>> deserialize(const Json& value);
};

}  // namespace tessellon
