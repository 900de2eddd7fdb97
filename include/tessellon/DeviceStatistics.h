#pragma once

#include <optional>
#include <string_view>

namespace tessellon {

// The operating-system family of the device that made a backup. The raw value
// is the text "backup.json" stores.
enum class DeviceFamily { ios, android, macos, windows };

// The kind of device that made a backup, stored by its raw value as well.
enum class DeviceType { na, phone, tablet, pc };

// "ios", "android", "macos", "windows".
std::string_view rawValue(DeviceFamily family);
// "na", "phone", "tablet", "pc".
std::string_view rawValue(DeviceType type);

// The case whose raw value is exactly `raw` (case-sensitive); nothing otherwise.
std::optional<DeviceFamily> deviceFamilyFromRawValue(std::string_view raw);
std::optional<DeviceType> deviceTypeFromRawValue(std::string_view raw);

}  // namespace tessellon
