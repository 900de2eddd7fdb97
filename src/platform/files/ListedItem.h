#pragma once

#include <optional>
#include <string>

#include "platform/files/FileAttributes.h"

namespace tessellon {

// One entry of a folder listing: its path relative to the listed folder and, when the listing
// read them, its attributes (absent when the item vanished or could not be looked at).
struct ListedItem {
  std::string relative;
  std::optional<FileAttributes> attributes;
  // For a folder a walk could not enter: the errno of its listing (0 otherwise).
  int listingError = 0;
};

}  // namespace tessellon
