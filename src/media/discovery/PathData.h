#pragma once

#include <optional>
#include <string>

#include "platform/files/FileAttributes.h"

namespace tessellon {

// A media file found by a folder scan: its absolute path, its path relative to
// the scanned folder and, when the listing read them, its attributes (the item
// is then built without looking at the file again).
struct PathData {
  std::string fullPath;
  std::string subPath;
  std::optional<FileAttributes> attributes = std::nullopt;

  friend bool operator==(const PathData& left, const PathData& right) {
    return left.fullPath == right.fullPath && left.subPath == right.subPath;
  }
};

}  // namespace tessellon
