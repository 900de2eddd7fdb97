#pragma once

#include <string>
#include <string_view>

#include "tessellon/Error.h"

#include "futures/ErrorDomain.h"

namespace tessellon {

inline constexpr const char* kJsonErrorDomain = "JsonError";

// Failures of the JSON layer. What a case carries (the missing key of
// missingProperty, a detail) is in the message: "missingProperty(count)".
enum class JsonError : int {
  missingProperty = 0,
  stringIsNil = 1,
  toStringConversionFailed = 2,
  invalidJsonString = 3,
  serializationFailed = 4,
  deserializationFailed = 5,
};

constexpr std::string_view errorDomain(JsonError /*code*/) { return kJsonErrorDomain; }

// "missingProperty", ...: the message of makeError(JsonError, payload).
std::string_view caseName(JsonError error);

}  // namespace tessellon
