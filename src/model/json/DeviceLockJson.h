#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tessellon/Date.h"

#include "model/DeviceLockRecord.h"

namespace tessellon {

// {"host", "pid", "started", "refreshed"}, the dates in UTC with milliseconds.
std::string lockJson(const DeviceLockRecord& record);

// The record the text holds; nothing when it is not such a document (a missing or mistyped
// member, a date that does not read).
std::optional<DeviceLockRecord> lockFromJson(std::string_view text);

// "2024-05-01T12:00:00.250Z".
std::string utcText(Date date);

}  // namespace tessellon
