#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>

#include "tessellon/Serializable.h"

#include "futures/Result.h"

namespace tessellon {

// One entry point for every stored document: picks the document format by the
// model's concrete type (Backup, MediaMetaData, and the item lists once their
// elements exist). Stateless; safe to call from any thread.
class SerializerProtocol {
 public:
  static constexpr std::string_view kProtocolName = "SerializerProtocol";

  SerializerProtocol() = default;
  SerializerProtocol(const SerializerProtocol&) = delete;
  SerializerProtocol& operator=(const SerializerProtocol&) = delete;
  virtual ~SerializerProtocol() = default;

  // The model's document text, or the document serializer's error;
  // SerializationError missingSerializationImplementation for any other type.
  virtual Result<std::string> serialize(const Serializable& model) = 0;

  // The model of type `expected` the text holds, or the document reader's
  // error; SerializationError missingDeserializationImplementation for a type
  // without a document. Use deserializeAs<T>() for a typed result.
  virtual Result<std::shared_ptr<Serializable>> deserialize(const std::string& text,
                                                            const std::type_info& expected) = 0;
};

// serializer.deserialize(text, typeid(T)), typed.
template <class T>
Result<std::shared_ptr<T>> deserializeAs(SerializerProtocol& serializer, const std::string& text) {
  Result<std::shared_ptr<Serializable>> model = serializer.deserialize(text, typeid(T));
  if (!model.ok()) return model.error();
  return std::static_pointer_cast<T>(std::move(model).value());
}

}  // namespace tessellon
