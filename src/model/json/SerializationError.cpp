#include "model/json/SerializationError.h"

#include <string>

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

Error makeError(SerializationError error, std::string_view payload) {
  std::string message(caseName(error));
  if (!payload.empty()) message.append("(").append(payload).append(")");
  return Error{kSerializationErrorDomain, static_cast<int>(error), std::move(message)};
}

bool isError(const Error& error, SerializationError code) {
  return error.domain == kSerializationErrorDomain && error.code == static_cast<int>(code);
}

}  // namespace tessellon
