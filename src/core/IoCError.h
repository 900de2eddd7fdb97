#pragma once

#include <string>
#include <string_view>

#include "tessellon/Error.h"

#include "futures/ErrorDomain.h"

namespace tessellon {

inline constexpr const char* kIoCErrorDomain = "IoCError";

// Failures of the service container. The message names the interface (and the
// class of the offending object): "nothingRegisteredForType(XProtocol)".
enum class IoCError : int {
  nothingRegisteredForType = 0,
  incompatibleTypes = 1,
};

constexpr std::string_view errorDomain(IoCError /*code*/) { return kIoCErrorDomain; }

Error makeNothingRegisteredForType(std::string_view name);
Error makeIncompatibleTypes(std::string_view name, std::string_view actualTypeName);

}  // namespace tessellon
