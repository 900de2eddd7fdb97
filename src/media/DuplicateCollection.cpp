#include "media/DuplicateCollection.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "model/StableHash.h"

namespace tessellon {

DuplicateCollection::DuplicateCollection(std::shared_ptr<HashingUtilAdapter> hashingUtilAdapter)
    : hashingUtilAdapter_(std::move(hashingUtilAdapter)) {}

uint64_t DuplicateCollection::identityKey(const MediaItem& item) {
  // The date as milliseconds since the epoch: equal exactly when the date texts are, without a
  // time-zone lookup per file. Both numbers are digits only, so the separators keep the three
  // parts apart.
  char numbers[48];
  char* end = std::to_chars(numbers, numbers + 20, item.bytes).ptr;
  *end++ = ' ';
  end = std::to_chars(end, end + 20, item.modificationDate.time_since_epoch().count()).ptr;
  *end++ = ' ';
  uint64_t hash = stableHash(std::string_view(numbers, static_cast<size_t>(end - numbers)));
  // FNV-1a goes on byte by byte, so this is the hash of the whole text.
  for (const char character : item.fileExtension) {
    hash ^= static_cast<uint8_t>(character);
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

void DuplicateCollection::addItem(const std::shared_ptr<MediaItem>& item) {
  const uint64_t key = identityKey(*item);
  std::lock_guard lock(mutex_);
  seen_.push_back({key, item});
}

DuplicateInfo DuplicateCollection::getDuplicateInformation(
    const std::vector<std::shared_ptr<MediaItem>>& items) const {
  DuplicateInfo info;
  std::lock_guard lock(mutex_);
  // An item is a duplicate when an item seen before it has its key.
  std::vector<std::pair<uint64_t, size_t>> order;
  order.reserve(seen_.size());
  for (size_t index = 0; index < seen_.size(); ++index) order.emplace_back(seen_[index].key, index);
  std::sort(order.begin(), order.end());
  std::unordered_set<std::string_view> duplicates;
  for (size_t at = 1; at < order.size(); ++at) {
    if (order[at].first == order[at - 1].first) duplicates.insert(seen_[order[at].second].item->id);
  }
  if (duplicates.empty()) return info;
  for (const auto& item : items) {
    if (duplicates.count(item->id) == 0) continue;
    info.bytes += item->bytes;
    ++info.count;
  }
  return info;
}

void DuplicateCollection::reset() {
  std::lock_guard lock(mutex_);
  seen_ = {};
}

}  // namespace tessellon
