#include "model/EqualItemIndex.h"

#include <functional>

#include "model/ItemEquality.h"

namespace tessellon {
namespace {

// Spreads a key over the table's bits (the finaliser of splitmix64).
uint64_t mixed(uint64_t key) {
  key ^= key >> 30;
  key *= 0xbf58476d1ce4e5b9ULL;
  key ^= key >> 27;
  key *= 0x94d049bb133111ebULL;
  return key ^ (key >> 31);
}

}  // namespace

EqualItemIndex::EqualItemIndex(const std::vector<std::shared_ptr<MediaItem>>& items) {
  all_.reserve(items.size());
  byPath_.reserve(items.size());
  for (const auto& item : items) add(item.get());
}

void EqualItemIndex::add(const MediaItem* item) {
  const auto position = static_cast<uint32_t>(all_.size());
  all_.push_back(item);
  const uint64_t bySecond = secondKey(item->bytes, secondOf(*item));
  const std::vector<std::string>& paths = item->paths();
  if (bySecond_) bySecond_->insert(bySecond, position);
  if (paths.empty()) pathless_.insert(bySecond, position);
  for (const std::string& path : paths) byPath_.insert(pathKey(path), position);
}

bool EqualItemIndex::contains(const MediaItem& wanted) const {
  const std::vector<std::string>& paths = wanted.paths();
  // An item without paths is contained in any other.
  if (paths.empty()) {
    if (!bySecond_) {
      bySecond_ = Table();
      bySecond_->reserve(all_.size());
      for (size_t at = 0; at < all_.size(); ++at) {
        bySecond_->insert(secondKey(all_[at]->bytes, secondOf(*all_[at])),
                          static_cast<uint32_t>(at));
      }
    }
    return inNearSeconds(*bySecond_, wanted, paths);
  }
  for (const std::string& path : paths) {
    if (byPath_.containsEqual(pathKey(path), all_, wanted, paths)) return true;
  }
  return inNearSeconds(pathless_, wanted, paths);
}

bool EqualItemIndex::inNearSeconds(const Table& table, const MediaItem& wanted,
                                   const std::vector<std::string>& wantedPaths) const {
  const int64_t second = secondOf(wanted);
  for (int64_t near = second - 1; near <= second + 1; ++near) {
    if (table.containsEqual(secondKey(wanted.bytes, near), all_, wanted, wantedPaths)) return true;
  }
  return false;
}

uint64_t EqualItemIndex::secondKey(int64_t bytes, int64_t second) {
  return mixed(static_cast<uint64_t>(bytes) * 0x9e3779b97f4a7c15ULL ^
               static_cast<uint64_t>(second));
}

int64_t EqualItemIndex::secondOf(const MediaItem& item) {
  const int64_t ms = item.modificationDate.time_since_epoch().count();
  return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

// Paths are indexed by their hash alone, so a lookup reads no other item's path text.
uint64_t EqualItemIndex::pathKey(std::string_view path) {
  return mixed(std::hash<std::string_view>()(path));
}

void EqualItemIndex::Table::reserve(size_t count) {
  size_t capacity = 16;
  while (capacity < count * 2) capacity *= 2;
  if (capacity > slots_.size()) grow(capacity);
}

void EqualItemIndex::Table::insert(uint64_t key, uint32_t position) {
  // At most half full, so every probe ends soon at an empty slot.
  if ((size_ + 1) * 2 > slots_.size()) grow(slots_.empty() ? 16 : slots_.size() * 2);
  const size_t mask = slots_.size() - 1;
  size_t at = key & mask;
  while (slots_[at].position != 0) at = (at + 1) & mask;
  slots_[at] = {static_cast<uint32_t>(key), position + 1};
  ++size_;
}

bool EqualItemIndex::Table::containsEqual(uint64_t key, const std::vector<const MediaItem*>& all,
                                          const MediaItem& wanted,
                                          const std::vector<std::string>& wantedPaths) const {
  if (slots_.empty()) return false;
  const size_t mask = slots_.size() - 1;
  const auto lower = static_cast<uint32_t>(key);
  for (size_t at = key & mask; slots_[at].position != 0; at = (at + 1) & mask) {
    if (slots_[at].key != lower) continue;
    const MediaItem& item = *all[slots_[at].position - 1];
    if (equalItems(item, item.paths(), wanted, wantedPaths)) return true;
  }
  return false;
}

void EqualItemIndex::Table::grow(size_t capacity) {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(capacity, Slot{});
  size_ = 0;
  for (const Slot& slot : old) {
    if (slot.position != 0) insert(slot.key, slot.position - 1);
  }
}

}  // namespace tessellon
