#include "model/json/MetadataSerializer.h"

#include "model/json/JsonError.h"
#include "model/json/MediaMetaDataJson.h"

namespace tessellon {

Result<std::string> MetadataSerializer::serialize(const MediaMetaData& metaData) {
  std::optional<std::string> text = MediaMetaDataJson::serializeText(metaData);
  if (!text) return makeError(JsonError::toStringConversionFailed, "media metadata");
  return std::move(*text);
}

Result<std::shared_ptr<MediaMetaData>> MetadataSerializer::deserializeMediaMetaData(
    const std::string& text) {
  return MediaMetaDataJson::deserializeText(text);
}

}  // namespace tessellon
