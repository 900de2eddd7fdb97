#pragma once

#include "model/json/MetadataSerializerProtocol.h"

namespace tessellon {

// The category documents over the JSON library. No state.
class MetadataSerializer final : public MetadataSerializerProtocol {
 public:
  MetadataSerializer() = default;

  Result<std::string> serialize(const MediaMetaData& metaData) override;
  Result<std::shared_ptr<MediaMetaData>> deserializeMediaMetaData(const std::string& text) override;
  Result<std::string> serialize(const ItemsMetaData<Contact>& metaData) override;
  Result<std::string> serialize(const ItemsMetaData<CalendarEntry>& metaData) override;
  Result<std::shared_ptr<ItemsMetaData<Contact>>> deserializeContacts(
      const std::string& text) override;
  Result<std::shared_ptr<ItemsMetaData<CalendarEntry>>> deserializeCalendars(
      const std::string& text) override;
};

}  // namespace tessellon
