#include "model/json/SerializationError.h"

namespace tessellon {

std::string_view caseName(SerializationError error) {
  switch (error) {
    case SerializationError::missingSerializationImplementation:
      return "missingSerializationImplementation";
    case SerializationError::missingDeserializationImplementation:
      return "missingDeserializationImplementation";
  }
  return "unknown";
}

}  // namespace tessellon
