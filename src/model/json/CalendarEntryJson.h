#pragma once

#include <memory>
#include <optional>

#include "futures/Result.h"
#include "model/json/ItemJson.h"
#include "model/json/Json.h"
#include "platform/calendar/CalendarEntry.h"
#include "platform/calendar/CalendarEvent.h"

namespace tessellon {

// One calendar of "calendars.json": {"id", "title", "events"?}, the events
// left out when the entry has no list.
template <>
struct ItemJson<CalendarEntry> {
  static constexpr const char* kListKey = "calendars";
  static std::optional<Json> serialize(const CalendarEntry& entry);
  // Fails with JsonError missingProperty for a missing "id" or "title", or
  // with the error of the first event that does not read.
  static Result<std::shared_ptr<CalendarEntry>> deserialize(const Json& value);
};

// One event object: {"id", "title", "start", "end", "allDay"} and, only when
// set, "recurrence", "note", "location", "url", "eventTimezone".
template <>
struct ItemJson<CalendarEvent> {
  static Json serialize(const CalendarEvent& event);
  // Fails with JsonError missingProperty naming the first required key that is
  // missing or unreadable; "allDay" reads a boolean or "true"/"false".
  static Result<CalendarEvent> deserialize(const Json& value);
};

}  // namespace tessellon
