#pragma once

#include <string_view>

#include "tessellon/Error.h"

#include "futures/ErrorDomain.h"

namespace tessellon {

inline constexpr const char* kSerializationErrorDomain = "SerializationError";

// The serializer was handed a model type it has no document for.
enum class SerializationError : int {
  missingSerializationImplementation = 0,
  missingDeserializationImplementation = 1,
};

constexpr std::string_view errorDomain(SerializationError /*code*/) {
  return kSerializationErrorDomain;
}

// "missingSerializationImplementation", ...: the message of makeError(SerializationError,
// payload), whose payload is the model type.
std::string_view caseName(SerializationError error);

}  // namespace tessellon
