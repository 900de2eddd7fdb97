#include "tessellon/FileStatus.h"

namespace tessellon {

std::string FileStatus::description() const {
  return "overall=" + std::to_string(overall) + " processed=" + std::to_string(processed) +
         " overallBytes=" + std::to_string(overallBytes) +
         " processedBytes=" + std::to_string(processedBytes);
}

}  // namespace tessellon
