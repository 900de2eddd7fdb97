#pragma once

#include <optional>
#include <string>

namespace tessellon {

// The name of this computer as the system reports it (the host name on
// Linux); nothing when the system has none.
std::optional<std::string> computerName();

}  // namespace tessellon
