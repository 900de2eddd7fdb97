#pragma once

#include <string>

namespace tessellon {

// The kinds of calendar the store reports; only local and CalDAV calendars
// are backed up. A folder store has local calendars only.
enum class StoreCalendarType : int {
  local = 0,
  calDAV = 1,
  exchange = 2,
  subscription = 3,
  birthday = 4
};

// The kinds of account a calendar belongs to.
enum class StoreSourceType : int { local = 0, exchange = 1, calDAV = 2 };

// An account of the store that calendars are created in.
struct StoreSource {
  std::string sourceIdentifier;
  StoreSourceType sourceType = StoreSourceType::local;
};

// One calendar of the event store. A new calendar has no identifier until the
// store saves it.
struct StoreCalendar {
  std::string calendarIdentifier;
  std::string title;
  // True when the store cannot write into the calendar.
  bool immutable = false;
  bool subscribed = false;
  StoreCalendarType type = StoreCalendarType::local;
  StoreSource source;
};

}  // namespace tessellon
