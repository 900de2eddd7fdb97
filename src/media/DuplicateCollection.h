#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "media/fingerprints/HashingUtilAdapter.h"
#include "model/MediaItem.h"

namespace tessellon {

// How many of a preview's files are duplicates of an earlier file, and their bytes.
struct DuplicateInfo {
  int64_t bytes = 0;
  int count = 0;

  friend bool operator==(const DuplicateInfo&, const DuplicateInfo&) = default;
};

// Notices files that look identical (equal size, modification date and extension) while a preview
// scans, before any content is read. Shared by the image and the video scan of one preview, so the
// key includes the extension but not the category. Safe to call from several threads. Keys are
// stable hashes of the identity text, so equal texts give equal keys in every process. Adding only
// notes an item and its key (24 bytes, no node of a hash table): which items are duplicates is
// worked out when asked, which a backup with nothing new never does.
class DuplicateCollection final {
 public:
  static constexpr std::string_view kProtocolName = "DuplicateCollection";
  // `hashingUtilAdapter` is held for the container's wiring; identity needs no file content.
  explicit DuplicateCollection(std::shared_ptr<HashingUtilAdapter> hashingUtilAdapter);

  // The identity key of an item: the stable hash of its decimal size, date and extension.
  static uint64_t identityKey(const MediaItem& item);

  // Records `item` as a duplicate when an item with its identity was added before; the first item
  // of a group never is.
  void addItem(const std::shared_ptr<MediaItem>& item);
  // Count and bytes of the items of `items` recorded as duplicates (by id); (0, 0) when none.
  DuplicateInfo getDuplicateInformation(const std::vector<std::shared_ptr<MediaItem>>& items) const;
  // Forgets everything, so the next preview starts empty.
  void reset();

 private:
  mutable std::mutex mutex_;
  struct Seen {
    uint64_t key;
    std::shared_ptr<MediaItem> item;
  };
  std::vector<Seen> seen_;
  const std::shared_ptr<HashingUtilAdapter> hashingUtilAdapter_;
};

}  // namespace tessellon
