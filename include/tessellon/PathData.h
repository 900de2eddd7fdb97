#pragma once

#include <string>

namespace tessellon {

// A media file found by a folder scan: its absolute path and its path relative
// to the scanned folder.
struct PathData {
  std::string fullPath;
  std::string subPath;

  friend bool operator==(const PathData&, const PathData&) = default;
};

}  // namespace tessellon
