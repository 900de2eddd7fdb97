#pragma once

#include <string>

namespace tessellon {

// The user's home: $HOME when it is set and absolute (a host or a test may run the user in another
// home), else the user database's; empty when neither is known. No trailing "/".
std::string userHome();

}  // namespace tessellon
