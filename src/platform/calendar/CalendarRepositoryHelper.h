#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "tessellon/LoggerProtocol.h"

#include "futures/Result.h"
#include "platform/calendar/CalendarEvent.h"
#include "platform/calendar/CalendarEventUpdater.h"
#include "platform/calendar/EKEventStoreAdapter.h"
#include "platform/calendar/RecurrenceRule.h"
#include "platform/calendar/StoreCalendar.h"
#include "platform/calendar/StoreEvent.h"

namespace tessellon {

// A repeating backed-up event with the store event written for it.
struct RecurrentEventPair {
  CalendarEvent event;
  std::shared_ptr<StoreEvent> storeEvent;
};

// Writes the events of one restored calendar: single events, then each
// repeating series anchored at its earliest occurrence, then the changed
// occurrences over the slots the new series has for them, then the changed
// occurrences left without a series as single events. Each pass fails with the
// store's first error. Runs on the caller's thread; one calendar at a time.
class CalendarRepositoryHelper final {
 public:
  // `logger` may be null. Without `calendarEventUpdater` no event can be
  // written and a pass with events fails with calendarsSaveCalendarFailed (802).
  CalendarRepositoryHelper(std::shared_ptr<LoggerProtocol> logger,
                           std::shared_ptr<CalendarEventUpdater> calendarEventUpdater);
  CalendarRepositoryHelper(const CalendarRepositoryHelper&) = delete;
  CalendarRepositoryHelper& operator=(const CalendarRepositoryHelper&) = delete;

  // Writes the single events; returns the (recurrent, detached) events left.
  Result<std::pair<std::vector<CalendarEvent>, std::vector<CalendarEvent>>>
  processSaveOfNormalEvents(const std::shared_ptr<EKEventStoreAdapter>& eventStore,
                            const std::shared_ptr<StoreCalendar>& calendar,
                            const std::vector<CalendarEvent>& calendarEvents);
  Result<std::vector<RecurrentEventPair>> processSaveOfRecurrentEvents(
      const std::vector<CalendarEvent>& detachedEvents,
      const std::shared_ptr<EKEventStoreAdapter>& eventStore,
      const std::shared_ptr<StoreCalendar>& calendar,
      const std::vector<CalendarEvent>& recurrentEvents);
  // Returns the orphaned events.
  Result<std::vector<CalendarEvent>> processSaveOfDetachedEvents(
      const std::shared_ptr<EKEventStoreAdapter>& eventStore,
      const std::shared_ptr<StoreCalendar>& calendar,
      const std::vector<RecurrentEventPair>& recurrentEventPairs,
      const std::vector<CalendarEvent>& detachedEvents);
  Result<void> processSaveOfOrphanedEvents(const std::shared_ptr<EKEventStoreAdapter>& eventStore,
                                           const std::shared_ptr<StoreCalendar>& calendar,
                                           const std::vector<CalendarEvent>& orphanedEvents);

 private:
  // The new series for `event`, not yet saved.
  std::shared_ptr<StoreEvent> createEvent(EventStoreProtocol& store,
                                          const std::shared_ptr<StoreCalendar>& calendar,
                                          const CalendarEvent& event, const RecurrenceRule& rule,
                                          const std::vector<CalendarEvent>& detachedEvents) const;
  // Saves each event as a single event without committing.
  Result<void> saveSingleEvents(EventStoreProtocol& store,
                                const std::shared_ptr<StoreCalendar>& calendar,
                                const std::vector<CalendarEvent>& events) const;
  Result<EventStoreProtocol*> storeOf(const std::shared_ptr<EKEventStoreAdapter>& eventStore) const;

  // May be null.
  const std::shared_ptr<LoggerProtocol> logger_;
  // May be null.
  const std::shared_ptr<CalendarEventUpdater> calendarEventUpdater_;
};

}  // namespace tessellon
