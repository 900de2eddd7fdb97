#include "tessellon/DeviceStatistics.h"

#include <array>
#include <utility>

namespace tessellon {
namespace {

constexpr std::array<std::pair<DeviceFamily, std::string_view>, 4> kFamilies{{
    {DeviceFamily::ios, "ios"},
    {DeviceFamily::android, "android"},
    {DeviceFamily::macos, "macos"},
    {DeviceFamily::windows, "windows"},
}};

constexpr std::array<std::pair<DeviceType, std::string_view>, 4> kTypes{{
    {DeviceType::na, "na"},
    {DeviceType::phone, "phone"},
    {DeviceType::tablet, "tablet"},
    {DeviceType::pc, "pc"},
}};

template <class Table, class Case>
std::string_view rawValueIn(const Table& table, Case value) {
  for (const auto& [entry, raw] : table) {
    if (entry == value) return raw;
  }
  return {};
}

template <class Case, class Table>
std::optional<Case> caseIn(const Table& table, std::string_view raw) {
  for (const auto& [entry, text] : table) {
    if (text == raw) return entry;
  }
  return std::nullopt;
}

}  // namespace

std::string_view rawValue(DeviceFamily family) { return rawValueIn(kFamilies, family); }

std::string_view rawValue(DeviceType type) { return rawValueIn(kTypes, type); }

std::optional<DeviceFamily> deviceFamilyFromRawValue(std::string_view raw) {
  return caseIn<DeviceFamily>(kFamilies, raw);
}

std::optional<DeviceType> deviceTypeFromRawValue(std::string_view raw) {
  return caseIn<DeviceType>(kTypes, raw);
}

}  // namespace tessellon
