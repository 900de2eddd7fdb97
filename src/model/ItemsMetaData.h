#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/Serializable.h"

namespace tessellon {

template <class T>
struct ItemsMetaData;

namespace detail {
// The length in bytes of the compact JSON text of `items`. The library defines
// it for each element type it stores (Contact, CalendarEntry).
template <class T>
int64_t compactJsonByteCount(const std::vector<std::shared_ptr<T>>& items);
// The pretty-printed JSON text of a whole list document.
template <class T>
std::string prettyJsonDescription(const ItemsMetaData<T>& metaData);
}  // namespace detail

// The contacts or the calendar entries of a backup ("contacts.json",
// "calendars.json"), or only their count and size (the summary that
// "backup.json" carries). `bytes` measures the list's JSON text. Elements are
// shared by reference and compared with their own operator==; the element type
// may stay incomplete wherever only the counters are touched.
template <class T>
struct ItemsMetaData : Serializable {
  using Items = std::vector<std::shared_ptr<T>>;

  // Absent in a summary.
  std::optional<Items> items;
  int count = 0;
  int64_t bytes = 0;

  // count = number of items; bytes = size of the items' compact JSON text.
  explicit ItemsMetaData(Items list)
      : items(std::move(list)),
        count(static_cast<int>(items->size())),
        bytes(detail::compactJsonByteCount<T>(*items)) {}
  ItemsMetaData(std::optional<Items> list, int itemsCount, int64_t byteCount)
      : items(std::move(list)), count(itemsCount), bytes(byteCount) {}
  // A summary without items.
  ItemsMetaData(int itemsCount, int64_t byteCount) : count(itemsCount), bytes(byteCount) {}

  // The items of both, each equal item once (first seen first), with count and
  // bytes recomputed.
  std::shared_ptr<ItemsMetaData> merge(const ItemsMetaData& other) const {
    Items joined;
    auto add = [&joined](const std::optional<Items>& list) {
      if (!list) return;
      for (const std::shared_ptr<T>& item : *list) {
        if (!contains(joined, *item)) joined.push_back(item);
      }
    };
    add(items);
    add(other.items);
    return std::make_shared<ItemsMetaData>(std::move(joined));
  }

  // A new object sharing the same items, with the same counters.
  std::shared_ptr<ItemsMetaData> copy() const {
    return std::make_shared<ItemsMetaData>(items, count, bytes);
  }

  // How many local items have no equal remote item: all local items without a
  // remote list, 0 without a local list.
  static int newItems(const std::optional<Items>& remote, const std::optional<Items>& local) {
    if (!local) return 0;
    if (!remote) return static_cast<int>(local->size());
    int fresh = 0;
    for (const std::shared_ptr<T>& item : *local) {
      if (!contains(*remote, *item)) ++fresh;
    }
    return fresh;
  }

  // The pretty-printed JSON of the list document.
  std::string description() const { return detail::prettyJsonDescription<T>(*this); }

  // Equal counters and equal item lists as sets (both absent, or the same
  // number of items and each found in the other).
  friend bool operator==(const ItemsMetaData& left, const ItemsMetaData& right) {
    if (left.count != right.count || left.bytes != right.bytes) return false;
    if (!left.items || !right.items) return !left.items && !right.items;
    if (left.items->size() != right.items->size()) return false;
    for (const std::shared_ptr<T>& item : *left.items) {
      if (!contains(*right.items, *item)) return false;
    }
    for (const std::shared_ptr<T>& item : *right.items) {
      if (!contains(*left.items, *item)) return false;
    }
    return true;
  }

 private:
  static bool contains(const Items& list, const T& wanted) {
    for (const std::shared_ptr<T>& item : list) {
      if (*item == wanted) return true;
    }
    return false;
  }
};

}  // namespace tessellon
