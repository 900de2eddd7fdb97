#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/MediaItem.h"

namespace tessellon {

// A local item found by a restore scan and its fingerprints, one per requested scheme that could be
// computed; the item's own fingerprint is the one of the highest scheme.
struct MediaItemWithHashes {
  std::shared_ptr<MediaItem> item;
  std::vector<std::string> hashes;
};

using MediaItemsWithHashes = std::vector<MediaItemWithHashes>;

}  // namespace tessellon
