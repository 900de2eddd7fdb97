#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tessellon/SkippedItem.h"

#include "model/MediaItem.h"

namespace tessellon {

// What a preview's scan of one media category found: the items, and the files and folders it
// could not take, with why.
struct MediaScan {
  std::vector<std::shared_ptr<MediaItem>> items;
  std::vector<SkippedItem> skipped;
  // The skipped files and folders as paths of items ("" for the whole folder): what the scan
  // could not see may still be there.
  std::vector<std::string> unseen;
};

}  // namespace tessellon
