#pragma once

#include <stdexcept>
#include <string>

namespace tessellon::cli {

// A configuration file or TESSELLON_* variable that cannot be used: a usage error (status 2), its
// message naming the file, line and key, or the variable.
class ConfigurationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace tessellon::cli
