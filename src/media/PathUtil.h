#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessellon {

// The parent-folder operation of PathUtils as a service of the container. Pure text; stateless
// and thread-safe.
class PathUtil final {
 public:
  static constexpr std::string_view kProtocolName = "PathUtil";
  // `path` without its last component, trailing "/" ignored; nothing when no "/" is left.
  std::optional<std::string> getParentDirectory(const std::string& path) const;
};

}  // namespace tessellon
