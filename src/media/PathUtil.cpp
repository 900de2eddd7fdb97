#include "media/PathUtil.h"

#include "core/PathUtils.h"

namespace tessellon {

std::optional<std::string> PathUtil::getParentDirectory(const std::string& path) const {
  return PathUtils::getParentDirectory(path);
}

}  // namespace tessellon
