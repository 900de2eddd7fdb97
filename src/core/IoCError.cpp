#include "core/IoCError.h"

namespace tessellon {

Error makeNothingRegisteredForType(std::string_view name) {
  return Error{kIoCErrorDomain, static_cast<int>(IoCError::nothingRegisteredForType),
               "nothingRegisteredForType(" + std::string(name) + ")"};
}

Error makeIncompatibleTypes(std::string_view name, std::string_view actualTypeName) {
  return Error{kIoCErrorDomain, static_cast<int>(IoCError::incompatibleTypes),
               "incompatibleTypes(" + std::string(name) + ", " + std::string(actualTypeName) + ")"};
}

}  // namespace tessellon
