#pragma once

#include <string>
#include <string_view>

#include "tessellon/Error.h"

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

// "missingProperty", ...
std::string_view caseName(JsonError error);

// An Error in the "JsonError" domain; the message is the case name, followed by
// "(payload)" when a payload is given.
Error makeError(JsonError error, std::string_view payload = {});

// True when `error` is exactly this case of this domain.
bool isError(const Error& error, JsonError code);

}  // namespace tessellon
