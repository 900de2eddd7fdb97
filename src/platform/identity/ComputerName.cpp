#include "platform/identity/ComputerName.h"

#include <limits.h>
#include <unistd.h>

namespace tessellon {

std::optional<std::string> computerName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return std::nullopt;
  return std::string(name);
}

}  // namespace tessellon
