#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tessellon/SkippedItem.h"

namespace tessellon {

// What one scan of a media category found but could not take, in the order found. A scan fills
// it on one thread; MediaRepositoryHelper is the only writer (and logs each entry).
struct ScanSkips {
  explicit ScanSkips(SkippedItem::Category scanned) : category(scanned) {}

  void add(std::string path, std::string reason) {
    items.push_back({category, std::move(path), std::move(reason)});
  }

  const SkippedItem::Category category;
  std::vector<SkippedItem> items;
};

}  // namespace tessellon
