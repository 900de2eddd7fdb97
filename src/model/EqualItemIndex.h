#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/MediaItem.h"

namespace tessellon {

// Finds an item equal (operator==) to a wanted one among many without comparing against every
// item. Equal items have the same size, dates less than a second apart (so the same or a
// neighbouring second), and one's paths among the other's, so two items that both have paths
// share at least one. Holds pointers: the indexed items must outlive it.
class EqualItemIndex {
 public:
  EqualItemIndex() = default;
  explicit EqualItemIndex(const std::vector<std::shared_ptr<MediaItem>>& items);

  void add(const MediaItem* item);
  bool contains(const MediaItem& wanted) const;

 private:
  // Open addressing with linear probing, several entries per key: one flat array instead of a
  // node per entry, which for a hundred thousand paths was most of a lookup's cost. A slot holds
  // the lower half of its key (enough to place it again when the table grows) and the item's
  // position in `all_`: eight bytes, so the tables of a large library's preview take a few
  // megabytes. A colliding candidate fails operator==, which compares the items themselves.
  class Table {
   public:
    void reserve(size_t count);
    void insert(uint64_t key, uint32_t position);
    bool containsEqual(uint64_t key, const std::vector<const MediaItem*>& all,
                       const MediaItem& wanted, const std::vector<std::string>& wantedPaths) const;

   private:
    struct Slot {
      uint32_t key = 0;       // the key's lower half
      uint32_t position = 0;  // in `all_`, plus one; 0: empty
    };
    void grow(size_t capacity);
    std::vector<Slot> slots_;
    size_t size_ = 0;
  };

  static uint64_t secondKey(int64_t bytes, int64_t second);
  static int64_t secondOf(const MediaItem& item);
  static uint64_t pathKey(std::string_view path);
  bool inNearSeconds(const Table& table, const MediaItem& wanted,
                     const std::vector<std::string>& wantedPaths) const;

  std::vector<const MediaItem*> all_;
  // Items without paths are rare, so the index of every item by size and second is only built
  // when one is asked for.
  mutable std::optional<Table> bySecond_;
  Table pathless_;
  Table byPath_;
};

}  // namespace tessellon
