#pragma once

#include <optional>
#include <string>

#include "media/PathUtilProtocol.h"

namespace tessellon {

// PathUtilProtocol over PathUtils; stateless.
class PathUtil final : public PathUtilProtocol {
 public:
  std::optional<std::string> getParentDirectory(const std::string& path) const override;
};

}  // namespace tessellon
