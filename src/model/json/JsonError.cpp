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

}  // namespace tessellon
