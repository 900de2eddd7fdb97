#pragma once

#include <memory>

#include "model/json/BackupSerializerProtocol.h"
#include "model/json/MetadataSerializerProtocol.h"
#include "model/json/SerializerProtocol.h"

namespace tessellon {

// Dispatches each model type to the serializer of its document.
class Serializer final : public SerializerProtocol {
 public:
  Serializer(std::shared_ptr<BackupSerializerProtocol> backupSerializer,
             std::shared_ptr<MetadataSerializerProtocol> metadataSerializer);

  Result<std::string> serialize(const Serializable& model) override;
  Result<std::shared_ptr<Serializable>> deserialize(const std::string& text,
                                                    const std::type_info& expected) override;

 private:
  const std::shared_ptr<BackupSerializerProtocol> backupSerializer_;
  const std::shared_ptr<MetadataSerializerProtocol> metadataSerializer_;
};

}  // namespace tessellon
