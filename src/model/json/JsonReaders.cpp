#include "model/json/JsonReaders.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "model/json/JsonText.h"
#include "platform/text/DateText.h"

namespace tessellon {
namespace {

bool present(const Json* value) { return value != nullptr && !value->is_null(); }

std::optional<int64_t> truncated(double number) {
  // 2^63 is exactly representable; everything below it converts safely.
  constexpr double kLimit = 9223372036854775808.0;
  if (!std::isfinite(number) || number >= kLimit || number < -kLimit) return std::nullopt;
  return static_cast<int64_t>(number);
}

std::optional<int64_t> fromNumber(const Json& value) {
  if (value.is_number_unsigned()) {
    const auto number = value.get<uint64_t>();
    if (number > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return std::nullopt;
    return static_cast<int64_t>(number);
  }
  if (value.is_number_integer()) return value.get<int64_t>();
  if (value.is_number_float()) return truncated(value.get<double>());
  return std::nullopt;
}

std::optional<int64_t> fromDecimalText(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
    return std::nullopt;
  }
  return number;
}

}  // namespace

const Json* member(const Json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  const auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

std::optional<std::string> readString(const Json* value) {
  if (!present(value)) return std::nullopt;
  if (value->is_string()) return value->get<std::string>();
  return toJSONString(*value);
}

std::optional<int64_t> readInteger(const Json* value) {
  if (!present(value)) return std::nullopt;
  if (value->is_string()) return fromDecimalText(value->get_ref<const std::string&>());
  return fromNumber(*value);
}

std::optional<int64_t> readLong(const Json* value) {
  if (!present(value)) return std::nullopt;
  return fromNumber(*value);
}

std::optional<bool> readBool(const Json* value) {
  if (!present(value)) return std::nullopt;
  if (value->is_boolean()) return value->get<bool>();
  if (value->is_string()) {
    const auto& text = value->get_ref<const std::string&>();
    if (text == "true") return true;
    if (text == "false") return false;
  }
  return std::nullopt;
}

std::optional<Date> readDate(const Json* value) {
  if (!present(value)) return std::nullopt;
  if (value->is_string()) return toDate(value->get_ref<const std::string&>());
  const std::optional<std::string> text = readString(value);
  return text ? toDate(*text) : std::nullopt;
}

}  // namespace tessellon
