#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessellon {

// The parent-folder operation of PathUtils as an injectable service. Pure text; thread-safe.
class PathUtilProtocol {
 public:
  static constexpr std::string_view kProtocolName = "PathUtilProtocol";
  PathUtilProtocol() = default;
  virtual ~PathUtilProtocol() = default;
  PathUtilProtocol(const PathUtilProtocol&) = delete;
  PathUtilProtocol& operator=(const PathUtilProtocol&) = delete;

  // `path` without its last component, trailing "/" ignored; nothing when no "/" is left.
  virtual std::optional<std::string> getParentDirectory(const std::string& path) const = 0;
};

}  // namespace tessellon
