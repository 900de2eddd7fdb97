#include "tessellon/MediaMetaData.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tessellon {
namespace {

using Items = MediaMetaData::Items;

// Finds an equal item among many without comparing against every item, consistently with
// operator== (which tolerates dates less than a second apart): equal items have
// the same size, dates less than a second apart (so the same or a neighbouring
// second), and one's paths among the other's, so two items that both have
// paths share at least one. Holds pointers: the indexed items must outlive it.
class EqualItemIndex {
 public:
  EqualItemIndex() = default;
  explicit EqualItemIndex(const Items& items) {
    all_.reserve(items.size());
    byPath_.reserve(items.size());
    for (const auto& item : items) add(item.get());
  }

  void add(const MediaItem* item) {
    all_.push_back(item);
    if (bySecond_) bySecond_->emplace(keyOf(*item), item);
    if (item->paths().empty()) pathless_.emplace(keyOf(*item), item);
    for (const std::string& path : item->paths()) byPath_.emplace(pathKey(path), item);
  }

  bool contains(const MediaItem& wanted) const {
    auto inNearSeconds = [&wanted](const Buckets& buckets) {
      const Key key = keyOf(wanted);
      for (int64_t near = key.second - 1; near <= key.second + 1; ++near) {
        if (anyEqual(buckets.equal_range({key.bytes, near}), wanted)) return true;
      }
      return false;
    };
    // An item without paths is contained in any other. Such items are rare, so the index of
    // every item by size and second is only built when one is asked for.
    if (wanted.paths().empty()) {
      if (!bySecond_) {
        bySecond_.emplace();
        for (const MediaItem* item : all_) bySecond_->emplace(keyOf(*item), item);
      }
      return inNearSeconds(*bySecond_);
    }
    for (const std::string& path : wanted.paths()) {
      if (anyEqual(byPath_.equal_range(pathKey(path)), wanted)) return true;
    }
    return inNearSeconds(pathless_);
  }

 private:
  struct Key {
    int64_t bytes;
    int64_t second;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    size_t operator()(const Key& key) const {
      return std::hash<int64_t>()(key.bytes) * 31 + std::hash<int64_t>()(key.second);
    }
  };
  // One entry per item and key: most keys have one item, and a list per key would cost an
  // allocation for each of a hundred thousand paths.
  using Buckets = std::unordered_multimap<Key, const MediaItem*, KeyHash>;

  template <class Range>
  static bool anyEqual(const Range& range, const MediaItem& wanted) {
    return std::any_of(range.first, range.second,
                       [&wanted](const auto& entry) { return *entry.second == wanted; });
  }

  // Paths are indexed by their hash alone: a colliding candidate fails operator==, which compares
  // the paths themselves, and the lookup reads no other item's path text.
  static uint64_t pathKey(std::string_view path) { return std::hash<std::string_view>()(path); }

  static Key keyOf(const MediaItem& item) {
    const int64_t ms = item.modificationDate.time_since_epoch().count();
    return {item.bytes, ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000)};
  }

  std::vector<const MediaItem*> all_;
  mutable std::optional<Buckets> bySecond_;
  Buckets pathless_;
  std::unordered_multimap<uint64_t, const MediaItem*> byPath_;
};

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

}  // namespace

MediaMetaData::MediaMetaData() : items(Items{}) {}

MediaMetaData::MediaMetaData(Items list)
    : items(std::move(list)), bytes(totalBytes(*items)), count(static_cast<int>(items->size())) {
  std::stable_sort(items->begin(), items->end(),
                   [](const auto& left, const auto& right) { return left->bytes < right->bytes; });
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
  return std::make_shared<MediaMetaData>(
      uniqueItems(*items, [&theirs](const MediaItem& item) { return theirs.contains(item); }));
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
