#include "model/json/JsonError.h"

namespace tessellon {

std::string_view caseName(JsonError error) {
  switch (error) {
    case JsonError::missingProperty:
      return "missingProperty";
    case JsonError::stringIsNil:
      return "stringIsNil";
    case JsonError::toStringConversionFailed:
      return "toStringConversionFailed";
    case JsonError::invalidJsonString:
      return "invalidJsonString";
    case JsonError::serializationFailed:
      return "serializationFailed";
    case JsonError::deserializationFailed:
      return "deserializationFailed";
  }
  return "unknown";
}

Error makeError(JsonError error, std::string_view payload) {
  std::string message(caseName(error));
  if (!payload.empty()) message.append("(").append(payload).append(")");
  return Error{kJsonErrorDomain, static_cast<int>(error), std::move(message)};
}

bool isError(const Error& error, JsonError code) {
  return error.domain == kJsonErrorDomain && error.code == static_cast<int>(code);
}

}  // namespace tessellon
