#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>

#include "futures/Result.h"
#include "model/Serializable.h"
#include "model/json/BackupSerializer.h"
#include "model/json/MetadataSerializer.h"

namespace tessellon {

// One entry point for every stored document: dispatches each model type (Backup, MediaMetaData,
// and the item lists once their elements exist) to the serializer of its document. Stateless;
// safe to call from any thread.
class Serializer final {
 public:
  static constexpr std::string_view kProtocolName = "Serializer";
  Serializer(std::shared_ptr<BackupSerializer> backupSerializer,
             std::shared_ptr<MetadataSerializer> metadataSerializer);

  // The model's document text, or the document serializer's error;
  // SerializationError missingSerializationImplementation for any other type.
  Result<std::string> serialize(const Serializable& model);
  // The model of type `expected` the text holds, or the document reader's
  // error; SerializationError missingDeserializationImplementation for a type
  // without a document. Use deserializeAs<T>() for a typed result.
  Result<std::shared_ptr<Serializable>> deserialize(const std::string& text,
                                                    const std::type_info& expected);

 private:
  const std::shared_ptr<BackupSerializer> backupSerializer_;
  const std::shared_ptr<MetadataSerializer> metadataSerializer_;
};

// serializer.deserialize(text, typeid(T)), typed.
template <class T>
Result<std::shared_ptr<T>> deserializeAs(Serializer& serializer, const std::string& text) {
  Result<std::shared_ptr<Serializable>> model = serializer.deserialize(text, typeid(T));
  if (!model.ok()) return model.error();
  return std::static_pointer_cast<T>(std::move(model).value());
}

}  // namespace tessellon
