#include "tessellon/LoggerProtocol.h"

namespace tessellon {

std::optional<LogLevel> logLevelFromRawValue(int rawValue) {
  switch (rawValue) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 16:
      return static_cast<LogLevel>(rawValue);
    default:
      return std::nullopt;
  }
}

}  // namespace tessellon
