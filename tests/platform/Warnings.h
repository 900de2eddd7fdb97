#pragma once

#include <cstddef>
#include <string>

#include "support/RecordingLogger.h"

namespace tessellon {

// How many warnings `logger` recorded that contain `part`.
inline size_t warningsContaining(const RecordingLogger& logger, const std::string& part) {
  size_t count = 0;
  for (const auto& [level, line] : logger.lines()) {
    count += level == LogLevel::warning && line.find(part) != std::string::npos;
  }
  return count;
}

}  // namespace tessellon
