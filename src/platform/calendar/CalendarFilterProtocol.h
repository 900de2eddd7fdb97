#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "platform/calendar/StoreEvent.h"

namespace tessellon {

// Picks, from the occurrences a window query returned, the events a backup
// keeps.
class CalendarFilterProtocol {
 public:
  static constexpr std::string_view kProtocolName = "CalendarFilterProtocol";
  CalendarFilterProtocol() = default;
  virtual ~CalendarFilterProtocol() = default;
  CalendarFilterProtocol(const CalendarFilterProtocol&) = delete;
  CalendarFilterProtocol& operator=(const CalendarFilterProtocol&) = delete;

  // From `events` sorted by start: the first occurrence of each series or
  // single event, and every detached occurrence.
  virtual std::vector<std::shared_ptr<StoreEvent>> getFilteredEvents(
      const std::vector<std::shared_ptr<StoreEvent>>& events) = 0;
};

}  // namespace tessellon
