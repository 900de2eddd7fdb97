#pragma once

#include <memory>
#include <vector>

#include "platform/calendar/StoreEvent.h"

namespace tessellon {

// Picks, from the occurrences a window query returned, the events a backup
// keeps: one event per identifier and every detached occurrence. No state.
class CalendarFilter final {
 public:
  CalendarFilter() = default;
  CalendarFilter(const CalendarFilter&) = delete;
  CalendarFilter& operator=(const CalendarFilter&) = delete;

  // From `events` sorted by start: the first occurrence of each series or
  // single event, and every detached occurrence, in the order their groups
  // first appear.
  std::vector<std::shared_ptr<StoreEvent>> getFilteredEvents(
      const std::vector<std::shared_ptr<StoreEvent>>& events);
};

}  // namespace tessellon
