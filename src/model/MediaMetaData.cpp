#include "model/MediaMetaData.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "model/EqualItemIndex.h"

namespace tessellon {
namespace {

using Items = MediaMetaData::Items;

// The items for which `keep` holds, each equal item once (first seen kept).
template <class Predicate>
Items uniqueItems(const Items& items, Predicate keep) {
  Items result;
  EqualItemIndex seen;
  for (const auto& item : items) {
    if (!keep(*item) || seen.contains(*item)) continue;
    seen.add(item.get());
    result.push_back(item);
  }
  return result;
}

int64_t totalBytes(const Items& items) {
  int64_t sum = 0;
  for (const auto& item : items) sum += item->bytes;
  return sum;
}

// Smallest first, equal sizes in their given order. The sizes are read once, beside their
// positions: comparing through the items' pointers misses the cache at every step, which made
// sorting a hundred thousand items a noticeable part of a preview.
void sortBySize(Items& items) {
  std::vector<std::pair<int64_t, size_t>> order;
  order.reserve(items.size());
  for (size_t at = 0; at < items.size(); ++at) order.emplace_back(items[at]->bytes, at);
  if (std::is_sorted(order.begin(), order.end())) return;
  std::sort(order.begin(), order.end());
  Items sorted;
  sorted.reserve(items.size());
  for (const auto& [size, at] : order) sorted.push_back(std::move(items[at]));
  items = std::move(sorted);
}

}  // namespace

MediaMetaData::MediaMetaData() : items(Items{}) {}

MediaMetaData::MediaMetaData(Items list)
    : items(std::move(list)), bytes(totalBytes(*items)), count(static_cast<int>(items->size())) {
  sortBySize(*items);
}

MediaMetaData::MediaMetaData(Items list, int64_t duplicateBytes, int duplicateCount)
    : MediaMetaData(std::move(list)) {
  duplicatesBytes = duplicateBytes;
  duplicatesCount = duplicateCount;
}

std::shared_ptr<MediaMetaData> MediaMetaData::stored(std::optional<Items> list, int itemsCount,
                                                     int64_t byteCount) {
  auto metaData = std::make_shared<MediaMetaData>();
  metaData->items = std::move(list);
  metaData->count = itemsCount;
  metaData->bytes = byteCount;
  return metaData;
}

std::shared_ptr<MediaItem> MediaMetaData::getMediaItem(const std::string& wanted) const {
  if (!items) return nullptr;
  for (const auto& item : *items) {
    if (item->fingerprint == wanted) return item;
  }
  return nullptr;
}

void MediaMetaData::removeMediaItems(const Items& list) {
  if (!items) return;
  std::unordered_set<std::string> fingerprints;
  for (const auto& item : list) {
    if (item->fingerprint) fingerprints.insert(*item->fingerprint);
  }
  std::erase_if(*items, [&fingerprints](const auto& item) {
    return item->fingerprint && fingerprints.count(*item->fingerprint) > 0;
  });
  count = static_cast<int>(items->size());
  bytes = totalBytes(*items);
}

void MediaMetaData::removeMediaItemsByEquatable(const Items& list) {
  if (!items) return;
  const EqualItemIndex removed(list);
  std::erase_if(*items, [&removed](const auto& item) { return removed.contains(*item); });
  count = static_cast<int>(items->size());
  bytes = totalBytes(*items);
}

std::shared_ptr<MediaMetaData> MediaMetaData::intersect(const MediaMetaData& other) const {
  if (!items || !other.items) return std::make_shared<MediaMetaData>();
  const EqualItemIndex theirs(*other.items);
  const std::unordered_set<std::string_view> unseen(other.unseenPaths.begin(),
                                                    other.unseenPaths.end());
  // A file the scan could not look at may still be there: its item stays.
  const auto unseenThere = [&unseen](const MediaItem& item) {
    if (unseen.empty()) return false;
    if (unseen.count("")) return true;
    for (const std::string& path : item.paths()) {
      for (size_t end = path.find('/');; end = path.find('/', end + 1)) {
        if (unseen.count(std::string_view(path).substr(0, end))) return true;
        if (end == std::string::npos) break;
      }
    }
    return false;
  };
  return std::make_shared<MediaMetaData>(uniqueItems(
      *items, [&](const MediaItem& item) { return theirs.contains(item) || unseenThere(item); }));
}

std::shared_ptr<MediaMetaData> MediaMetaData::difference(
    const std::shared_ptr<MediaMetaData>& local, const std::shared_ptr<MediaMetaData>& remote) {
  if (!local) return nullptr;
  const Items none;
  const Items& localItems = local->items ? *local->items : none;
  if (!remote) {
    return std::make_shared<MediaMetaData>(
        uniqueItems(localItems, [](const MediaItem&) { return true; }));
  }
  const EqualItemIndex remoteItems(remote->items ? *remote->items : none);
  return std::make_shared<MediaMetaData>(uniqueItems(
      localItems, [&remoteItems](const MediaItem& item) { return !remoteItems.contains(item); }));
}

std::shared_ptr<MediaMetaData> MediaMetaData::copy() const {
  return std::make_shared<MediaMetaData>(*this);
}

}  // namespace tessellon
