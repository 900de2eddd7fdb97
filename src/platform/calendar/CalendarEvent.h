#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/Date.h"

namespace tessellon {

// 2001-01-01T00:00:00Z in seconds since 1970: the origin of occurrence numbers.
inline constexpr int64_t kReferenceDateSeconds = 978'307'200;

// One event of a backed-up calendar. A detached occurrence (one changed
// occurrence of a repeating event) carries its series' identifier followed by
// "/RID=" and the occurrence's original start in seconds since 2001-01-01Z.
struct CalendarEvent {
  std::string id;
  std::string title;
  // Whole seconds since 1970-01-01T00:00:00Z.
  int64_t start = 0;
  int64_t end = 0;
  bool allDay = false;
  // The rule text without the "RRULE " prefix, e.g. "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO".
  std::optional<std::string> recurrence;
  std::optional<std::string> note;
  std::optional<std::string> location;
  // Absolute URL text.
  std::optional<std::string> url;
  // A zone identifier such as "Europe/Berlin".
  std::optional<std::string> eventTimezone;
  // The iCalendar definition (VTIMEZONE) of a zone that only the event's file
  // defines, so its daylight-saving rules come back with it. Stored as
  // "eventTimezoneDefinition".
  std::optional<std::string> eventTimezoneDefinition;
  // Of a repeating event: the occurrences the user deleted (EXDATE) and the
  // ones added beside the rule (RDATE), as original starts in seconds since
  // 1970-01-01T00:00:00Z. Stored as "exceptionDates" and "recurrenceDates";
  // readers that do not know them ignore them.
  std::optional<std::vector<int64_t>> exceptionDates;
  std::optional<std::vector<int64_t>> recurrenceDates;
  // The event as the calendar file held it: a VCALENDAR with the event's VEVENT (its alarms
  // included) and the VTIMEZONEs it names, unfolded lines joined by "\n". Brings back what the
  // fields above cannot say (alarms, attendees, categories, status). Stored as "iCalendar"; not
  // part of equality, which the fields above decide.
  std::optional<std::string> iCalendar;

  // True when `id` contains "/RID=".
  bool isDetached() const;
  // The text before the first "/RID=" of a detached occurrence's `id`.
  std::optional<std::string> parentId() const;
  // The text after the last "/RID=" of a detached occurrence's `id`.
  std::optional<std::string> RID() const;
  // `RID` read as whole seconds after 2001-01-01T00:00:00Z; nothing when it is
  // not a decimal integer.
  std::optional<Date> occurence() const;

  // Every field but the kept text.
  friend bool operator==(const CalendarEvent& left, const CalendarEvent& right) {
    return left.id == right.id && left.title == right.title && left.start == right.start &&
           left.end == right.end && left.allDay == right.allDay &&
           left.recurrence == right.recurrence && left.note == right.note &&
           left.location == right.location && left.url == right.url &&
           left.eventTimezone == right.eventTimezone &&
           left.eventTimezoneDefinition == right.eventTimezoneDefinition &&
           left.exceptionDates == right.exceptionDates &&
           left.recurrenceDates == right.recurrenceDates;
  }
};

}  // namespace tessellon
