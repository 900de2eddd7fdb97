#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessellon/Date.h"

#include "futures/Result.h"
#include "model/json/Json.h"
#include "model/json/JsonError.h"

namespace tessellon {

// Lenient readers of loosely typed values, shared by every document reader.
// Each takes a value that may be absent (null pointer) and gives nothing
// instead of failing; JSON null counts as absent.

// The value under `key`, or null when `object` is not an object or has no such
// key.
const Json* member(const Json& object, std::string_view key);

// A string as it is; any other value as its JSON text (12 gives "12").
std::optional<std::string> readString(const Json* value);

// An integer, a number truncated toward zero, or a string holding a decimal
// integer; nothing for values outside the 64-bit range.
std::optional<int64_t> readInteger(const Json* value);

// A number truncated toward zero; strings give nothing.
std::optional<int64_t> readLong(const Json* value);

// A boolean, or the strings "true" and "false". Numbers give nothing.
std::optional<bool> readBool(const Json* value);

// A date in one of the text forms toDate accepts.
std::optional<Date> readDate(const Json* value);

// The elements of a list, each converted by `transform` (Json -> Result<T>), in
// order. Fails with the first element's error, or with deserializationFailed
// when `value` is not a list.
template <class T, class Transform>
Result<std::vector<T>> toArray(const Json* value, Transform transform) {
  if (value == nullptr || !value->is_array()) {
    return makeError(JsonError::deserializationFailed, "not a list");
  }
  std::vector<T> elements;
  elements.reserve(value->size());
  for (const Json& element : *value) {
    Result<T> converted = transform(element);
    if (!converted.ok()) return converted.error();
    elements.push_back(std::move(converted).value());
  }
  return elements;
}

}  // namespace tessellon
