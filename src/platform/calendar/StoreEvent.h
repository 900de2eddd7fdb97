#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/Date.h"

#include "platform/calendar/RecurrenceRule.h"
#include "platform/calendar/StoreCalendar.h"

namespace tessellon {

// What a save changes when the event is one occurrence of a repeating series.
enum class StoreEventSpan : int { thisEvent = 0, futureEvents = 1 };

// One event of the event store as a query returns it (one occurrence of a
// repeating series, under the series' identifier) or as a caller fills it
// before saving it.
struct StoreEvent {
  // Set by the store: empty until the event is saved.
  std::string eventIdentifier;
  // Set by the store: true for a changed single occurrence of a series.
  bool isDetached = false;
  // Set by the store: the occurrence's original start (for a detached
  // occurrence, where it stood before it was moved); the start of an event that
  // does not repeat.
  std::optional<Date> occurrenceDate;

  std::shared_ptr<StoreCalendar> calendar;
  std::string title;
  Date startDate{};
  Date endDate{};
  // All-day events cover whole local days: start at midnight, end on the
  // last day's midnight or later that day.
  bool isAllDay = false;
  // A zone identifier ("Europe/Berlin", "UTC"); none for floating local times.
  std::optional<std::string> timeZone;
  // The VTIMEZONE text of a zone the zone database does not know.
  std::optional<std::string> timeZoneDefinition;
  std::optional<std::string> notes;
  std::optional<std::string> location;
  std::optional<std::string> url;
  // At most the first rule is kept.
  std::vector<RecurrenceRule> recurrenceRules;
  // Of a series: the original starts of deleted occurrences (EXDATE) and the
  // starts of occurrences added beside the rule (RDATE).
  std::vector<Date> exceptionDates;
  std::vector<Date> recurrenceDates;
  // The event as its file holds it (see CalendarEvent::iCalendar), shared by every occurrence of
  // a series. A save writes what it says beyond the fields above; the fields win where it
  // disagrees with them.
  std::shared_ptr<const std::string> source;
};

}  // namespace tessellon
