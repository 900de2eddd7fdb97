#include "media/discovery/RecordedItems.h"

#include <bit>
#include <functional>
#include <string_view>
#include <utility>

namespace tessellon {
namespace {

// Only an item with exactly one path stands for one file; one with several stands for copies
// whose other paths the scan has not seen yet.
const std::string* onlyPath(const MediaItem& item) {
  return item.paths().size() == 1 && !item.otherPaths ? &item.paths().front() : nullptr;
}

}  // namespace

RecordedItems::RecordedItems(std::shared_ptr<const MediaMetaData> record)
    : record_(std::move(record)) {
  if (!record_ || !record_->items) return;
  const MediaMetaData::Items& items = *record_->items;
  const size_t capacity = std::bit_ceil(items.size() * 2 + 2);
  slots_.assign(capacity, 0);
  mask_ = capacity - 1;
  const std::hash<std::string_view> hash;
  for (size_t at = 0; at < items.size(); ++at) {
    const std::string* path = items[at] ? onlyPath(*items[at]) : nullptr;
    if (!path) continue;
    size_t slot = hash(*path) & mask_;
    while (slots_[slot] != 0) slot = (slot + 1) & mask_;
    slots_[slot] = static_cast<uint32_t>(at + 1);
  }
}

std::shared_ptr<MediaItem> RecordedItems::unchanged(const std::string& path, int64_t bytes,
                                                    Date date) const {
  if (slots_.empty()) return nullptr;
  for (size_t slot = std::hash<std::string_view>()(path) & mask_; slots_[slot] != 0;
       slot = (slot + 1) & mask_) {
    const std::shared_ptr<MediaItem>& item = (*record_->items)[slots_[slot] - 1];
    if (*onlyPath(*item) == path && item->id == path && item->bytes == bytes &&
        item->modificationDate == date) {
      return item;
    }
  }
  return nullptr;
}

}  // namespace tessellon
