#pragma once

#include <string_view>

#include "tessellon/Error.h"

namespace tessellon {

inline constexpr const char* kSerializationErrorDomain = "SerializationError";

// The serializer was handed a model type it has no document for.
enum class SerializationError : int {
  missingSerializationImplementation = 0,
  missingDeserializationImplementation = 1,
};

// "missingSerializationImplementation", ...
std::string_view caseName(SerializationError error);

// An Error in the "SerializationError" domain; the message is the case name,
// followed by "(payload)" when a payload (the model type) is given.
Error makeError(SerializationError error, std::string_view payload = {});

// True when `error` is exactly this case of this domain.
bool isError(const Error& error, SerializationError code);

}  // namespace tessellon
