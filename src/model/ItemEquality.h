#pragma once

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "model/MediaItem.h"

namespace tessellon {

// MediaItem equality over path lists the caller already holds: finding an item's list is a map
// lookup, and an index comparing one item against many looks each list up once.
inline bool containsAll(const std::vector<std::string>& theirs,
                        const std::vector<std::string>& mine) {
  return std::all_of(mine.begin(), mine.end(), [&theirs](const std::string& path) {
    return std::find(theirs.begin(), theirs.end(), path) != theirs.end();
  });
}

inline bool equalItems(const MediaItem& left, const std::vector<std::string>& leftPaths,
                       const MediaItem& right, const std::vector<std::string>& rightPaths) {
  if (left.bytes != right.bytes) return false;
  const auto apart = left.modificationDate - right.modificationDate;
  if (apart >= std::chrono::seconds(1) || apart <= -std::chrono::seconds(1)) return false;
  return containsAll(rightPaths, leftPaths) || containsAll(leftPaths, rightPaths);
}

// Whether `item`, stored as `stored`'s content, may give `stored` its date: one item dates all
// of its paths alike, so a copy with another date while other paths keep theirs is an item of
// its own.
inline bool sharesDate(const MediaItem& stored, const MediaItem& item) {
  return stored.modificationDate == item.modificationDate ||
         containsAll(item.paths(), stored.paths());
}

inline void removePaths(std::vector<std::string>& paths, const std::vector<std::string>& gone) {
  std::erase_if(paths, [&gone](const std::string& path) {
    return std::find(gone.begin(), gone.end(), path) != gone.end();
  });
}

}  // namespace tessellon
