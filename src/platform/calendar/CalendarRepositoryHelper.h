#pragma once

#include <memory>

#include "tessellon/LoggerProtocol.h"

#include "platform/calendar/CalendarEventUpdaterProtocol.h"
#include "platform/calendar/CalendarRepositoryHelperProtocol.h"
#include "platform/calendar/RecurrenceRule.h"

namespace tessellon {

// Writes the events of one restored calendar: single events, then each
// repeating series anchored at its earliest occurrence, then the changed
// occurrences over the slots the new series has for them, then the changed
// occurrences left without a series as single events. Runs on the caller's
// thread; one calendar at a time.
class CalendarRepositoryHelper final : public CalendarRepositoryHelperProtocol {
 public:
  // `logger` may be null. Without `calendarEventUpdater` no event can be
  // written and a pass with events fails with calendarsSaveCalendarFailed (802).
  CalendarRepositoryHelper(std::shared_ptr<LoggerProtocol> logger,
                           std::shared_ptr<CalendarEventUpdaterProtocol> calendarEventUpdater);
  CalendarRepositoryHelper(const CalendarRepositoryHelper&) = delete;
  CalendarRepositoryHelper& operator=(const CalendarRepositoryHelper&) = delete;

  Result<std::pair<std::vector<CalendarEvent>, std::vector<CalendarEvent>>>
  processSaveOfNormalEvents(const std::shared_ptr<EKEventStoreAdapterProtocol>& eventStore,
                            const std::shared_ptr<StoreCalendar>& calendar,
                            const std::vector<CalendarEvent>& calendarEvents) override;
  Result<std::vector<RecurrentEventPair>> processSaveOfRecurrentEvents(
      const std::vector<CalendarEvent>& detachedEvents,
      const std::shared_ptr<EKEventStoreAdapterProtocol>& eventStore,
      const std::shared_ptr<StoreCalendar>& calendar,
      const std::vector<CalendarEvent>& recurrentEvents) override;
  Result<std::vector<CalendarEvent>> processSaveOfDetachedEvents(
      const std::shared_ptr<EKEventStoreAdapterProtocol>& eventStore,
      const std::shared_ptr<StoreCalendar>& calendar,
      const std::vector<RecurrentEventPair>& recurrentEventPairs,
      const std::vector<CalendarEvent>& detachedEvents) override;
  Result<void> processSaveOfOrphanedEvents(
      const std::shared_ptr<EKEventStoreAdapterProtocol>& eventStore,
      const std::shared_ptr<StoreCalendar>& calendar,
      const std::vector<CalendarEvent>& orphanedEvents) override;

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
  Result<EventStoreProtocol*> storeOf(
      const std::shared_ptr<EKEventStoreAdapterProtocol>& eventStore) const;

  // May be null.
  const std::shared_ptr<LoggerProtocol> logger_;
  // May be null.
  const std::shared_ptr<CalendarEventUpdaterProtocol> calendarEventUpdater_;
};

}  // namespace tessellon
