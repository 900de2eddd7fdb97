#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tessellon/Date.h"

#include "model/MediaItem.h"
#include "model/MediaMetaData.h"

namespace tessellon {

// A stored record's items by path, for a preview's scan: a file the record already describes
// (this path alone, this size, this date, this extension) is taken as the recorded item itself
// instead of a new item that the comparison would drop. For a large library that is nearly every
// file, and a new item each was a third of a preview's memory. Read-only once built, so scans on
// several threads may share it.
class RecordedItems {
 public:
  // `record` may be null or without items: then nothing is recorded.
  explicit RecordedItems(std::shared_ptr<const MediaMetaData> record);

  // The recorded item whose only path is `path`, with this size and date, or null. The caller
  // compares the extension, which it derives from the path only for such a match.
  std::shared_ptr<MediaItem> unchanged(const std::string& path, int64_t bytes, Date date) const;

 private:
  // Open addressing by the path's hash: a slot is the item's position plus one, 0 when empty.
  std::shared_ptr<const MediaMetaData> record_;
  std::vector<uint32_t> slots_;
  size_t mask_ = 0;
};

}  // namespace tessellon
