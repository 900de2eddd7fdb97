#pragma once

#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "tessellon/CalendarEvent.h"

#include "futures/Result.h"
#include "platform/calendar/EKEventStoreAdapterProtocol.h"
#include "platform/calendar/StoreCalendar.h"
#include "platform/calendar/StoreEvent.h"

namespace tessellon {

// A repeating backed-up event with the store event written for it.
struct RecurrentEventPair {
  CalendarEvent event;
  std::shared_ptr<StoreEvent> storeEvent;
};

// Writes the events of one restored calendar in four passes: single events,
// repeating series, their changed occurrences, and changed occurrences whose
// series could not be written. Each pass fails with the store's first error.
class CalendarRepositoryHelperProtocol {
 public:
  static constexpr std::string_view kProtocolName = "CalendarRepositoryHelperProtocol";
  CalendarRepositoryHelperProtocol() = default;
  virtual ~CalendarRepositoryHelperProtocol() = default;
  CalendarRepositoryHelperProtocol(const CalendarRepositoryHelperProtocol&) = delete;
  CalendarRepositoryHelperProtocol& operator=(const CalendarRepositoryHelperProtocol&) = delete;

  // Writes the single events; returns the (recurrent, detached) events left.
  virtual Result<std::pair<std::vector<CalendarEvent>, std::vector<CalendarEvent>>>
  processSaveOfNormalEvents(const std::shared_ptr<EKEventStoreAdapterProtocol>& eventStore,
                            const std::shared_ptr<StoreCalendar>& calendar,
                            const std::vector<CalendarEvent>& calendarEvents) = 0;
  virtual Result<std::vector<RecurrentEventPair>> processSaveOfRecurrentEvents(
      const std::vector<CalendarEvent>& detachedEvents,
      const std::shared_ptr<EKEventStoreAdapterProtocol>& eventStore,
      const std::shared_ptr<StoreCalendar>& calendar,
      const std::vector<CalendarEvent>& recurrentEvents) = 0;
  // Returns the orphaned events.
  virtual Result<std::vector<CalendarEvent>> processSaveOfDetachedEvents(
      const std::shared_ptr<EKEventStoreAdapterProtocol>& eventStore,
      const std::shared_ptr<StoreCalendar>& calendar,
      const std::vector<RecurrentEventPair>& recurrentEventPairs,
      const std::vector<CalendarEvent>& detachedEvents) = 0;
  virtual Result<void> processSaveOfOrphanedEvents(
      const std::shared_ptr<EKEventStoreAdapterProtocol>& eventStore,
      const std::shared_ptr<StoreCalendar>& calendar,
      const std::vector<CalendarEvent>& orphanedEvents) = 0;
};

}  // namespace tessellon
