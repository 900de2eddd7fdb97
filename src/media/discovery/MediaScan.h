#pragma once

#include <memory>
#include <vector>

#include "tessellon/SkippedItem.h"

#include "model/MediaItem.h"

namespace tessellon {

// What a preview's scan of one media category found: the items, and the files and folders it
// could not take, with why.
struct MediaScan {
  std::vector<std::shared_ptr<MediaItem>> items;
  std::vector<SkippedItem> skipped;
};

}  // namespace tessellon
