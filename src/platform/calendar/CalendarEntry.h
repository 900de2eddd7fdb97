#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/calendar/CalendarEvent.h"

namespace tessellon {

// One calendar of the machine's calendar store with the events a backup took
// from it; the elements of "calendars.json". Shared by reference
// (std::shared_ptr) in ItemsMetaData<CalendarEntry>.
struct CalendarEntry {
  // The store's calendar identifier; not part of the identity.
  std::string id;
  std::string title;
  std::optional<std::vector<CalendarEvent>> events;

  // Every entry hashes alike: entries are told apart by operator== alone.
  std::size_t hashValue() const { return 1; }

  // The pretty-printed JSON object of the entry.
  std::string description() const;

  // Same title and the same events in the same order; the identifier is not
  // compared, so a calendar restored under a new identifier equals its backup.
  friend bool operator==(const CalendarEntry& left, const CalendarEntry& right) {
    return left.title == right.title && left.events == right.events;
  }
};

}  // namespace tessellon
