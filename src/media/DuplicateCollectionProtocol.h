#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "tessellon/MediaItem.h"

namespace tessellon {

// How many of a preview's files are duplicates of an earlier file, and their bytes.
struct DuplicateInfo {
  int64_t bytes = 0;
  int count = 0;

  friend bool operator==(const DuplicateInfo&, const DuplicateInfo&) = default;
};

// Notices files that look identical (equal size, modification date and extension) while a preview
// scans, before any content is read. Shared by the image and the video scan of one preview, so the
// key includes the extension but not the category. Safe to call from several threads.
class DuplicateCollectionProtocol {
 public:
  static constexpr std::string_view kProtocolName = "DuplicateCollectionProtocol";
  DuplicateCollectionProtocol() = default;
  virtual ~DuplicateCollectionProtocol() = default;
  DuplicateCollectionProtocol(const DuplicateCollectionProtocol&) = delete;
  DuplicateCollectionProtocol& operator=(const DuplicateCollectionProtocol&) = delete;

  // Records `item` as a duplicate when an item with its identity was added before; the first item
  // of a group never is.
  virtual void addItem(const std::shared_ptr<MediaItem>& item) = 0;
  // Count and bytes of the items of `items` recorded as duplicates (by id); (0, 0) when none.
  virtual DuplicateInfo getDuplicateInformation(
      const std::vector<std::shared_ptr<MediaItem>>& items) const = 0;
  // Forgets everything, so the next preview starts empty.
  virtual void reset() = 0;
};

}  // namespace tessellon
