#pragma once

#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "futures/Result.h"
#include "model/ItemsMetaData.h"
#include "model/json/ItemJson.h"
#include "model/json/Json.h"
#include "model/json/JsonError.h"
#include "model/json/JsonReaders.h"
#include "model/json/JsonText.h"

namespace tessellon {

// The item list documents: {"count": n, "bytes": n, "<list key>": [...]}, the
// list left out when there are no items. The element format comes from
// ItemJson<T>; the summary functions never touch it, so they work while T is
// still incomplete.
template <class T>
class ItemsMetaDataJson {
 public:
  using Items = typename ItemsMetaData<T>::Items;

  // The elements' objects in order; an element that yields nothing is left out.
  static Json listJson(const Items& items) {
    Json list = Json::array();
    for (const std::shared_ptr<T>& item : items) {
      std::optional<Json> element = ItemJson<T>::serialize(*item);
      if (element) list.push_back(std::move(*element));
    }
    return list;
  }

  static Json serialize(const ItemsMetaData<T>& metaData) {
    Json object = serializeSummary(metaData);
    if (metaData.items && !metaData.items->empty()) {
      object[ItemJson<T>::kListKey] = listJson(*metaData.items);
    }
    return object;
  }

  // "count" and "bytes" only, as "backup.json" carries them.
  static Json serializeSummary(const ItemsMetaData<T>& metaData) {
    return Json{{"count", metaData.count}, {"bytes", metaData.bytes}};
  }

  // Fails with missingProperty("count") / ("bytes") when a counter is missing
  // or unreadable, deserializationFailed when the list is not a list, or the
  // error of the first element that does not read.
  static Result<std::shared_ptr<ItemsMetaData<T>>> deserialize(const Json& object) {
    Result<std::shared_ptr<ItemsMetaData<T>>> summary = deserializeSummary(object);
    if (!summary.ok()) return summary;
    const Json* list = member(object, ItemJson<T>::kListKey);
    if (list == nullptr || list->is_null()) return summary;
    Result<Items> items = toArray<std::shared_ptr<T>>(list, &ItemJson<T>::deserialize);
    if (!items.ok()) return items.error();
    const std::shared_ptr<ItemsMetaData<T>>& counts = summary.value();
    return std::make_shared<ItemsMetaData<T>>(std::move(items).value(), counts->count,
                                              counts->bytes);
  }

  // The counters alone; any list in the object is ignored.
  static Result<std::shared_ptr<ItemsMetaData<T>>> deserializeSummary(const Json& object) {
    if (!object.is_object()) return makeError(JsonError::deserializationFailed, "not an object");
    const std::optional<int64_t> count = readInteger(member(object, "count"));
    if (!count || *count < 0 || *count > std::numeric_limits<int>::max()) {
      return makeError(JsonError::missingProperty, "count");
    }
    const std::optional<int64_t> bytes = readInteger(member(object, "bytes"));
    if (!bytes) return makeError(JsonError::missingProperty, "bytes");
    return std::make_shared<ItemsMetaData<T>>(static_cast<int>(*count), *bytes);
  }
};

namespace detail {

template <class T>
int64_t compactJsonByteCount(const std::vector<std::shared_ptr<T>>& items) {
  const std::optional<std::string> text = toJSONString(ItemsMetaDataJson<T>::listJson(items));
  return text ? static_cast<int64_t>(text->size()) : 0;
}

template <class T>
std::string prettyJsonDescription(const ItemsMetaData<T>& metaData) {
  return toPrettyJSONString(ItemsMetaDataJson<T>::serialize(metaData)).value_or("");
}

}  // namespace detail
}  // namespace tessellon
