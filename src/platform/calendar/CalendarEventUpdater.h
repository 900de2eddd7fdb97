#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tessellon/Date.h"

#include "platform/calendar/CalendarEvent.h"
#include "platform/calendar/EKEventStoreAdapter.h"
#include "platform/calendar/StoreCalendar.h"
#include "platform/calendar/StoreEvent.h"

namespace tessellon {

// Field copying and the date rules the restore applies when it turns backed-up
// events into store events. Stateless; safe from any thread.
class CalendarEventUpdater final {
 public:
  CalendarEventUpdater() = default;
  CalendarEventUpdater(const CalendarEventUpdater&) = delete;
  CalendarEventUpdater& operator=(const CalendarEventUpdater&) = delete;

  // Copies title, notes, location and URL (dropped when it is not a valid URL)
  // and sets the dates: all-day events get the local midnights of both dates
  // and no zone; other events keep the instants and take `event`'s zone when
  // the machine knows it, else float in local time. The event's kept text goes
  // along, for the store to write what the fields cannot say.
  void updateBaseFields(StoreEvent& storeEvent, const CalendarEvent& event, Date startDate,
                        Date endDate) const;

  // Where a repeating series has to start so that every changed occurrence in
  // `detachedEvents` still has its original slot: the earliest of the
  // series' start and its occurrences' original starts.
  Date selectEarliestDateFromRecurrentEvents(
      const CalendarEvent& event, const std::vector<CalendarEvent>& detachedEvents) const;

  // True when `detachedEvent` is a changed occurrence of the series `id`.
  bool selectRelatedDetachedEvent(const CalendarEvent& detachedEvent, const std::string& id) const;
  // The changed occurrences of the series `id`, in their order.
  std::vector<CalendarEvent> filterRelatedDetachedEvents(
      const std::vector<CalendarEvent>& detachedEvents, const std::string& id) const;

  // The occurrences of `originalEvent`'s series in `calendar` that overlap the
  // original slot of `detachedEvent` (its occurrence date and its length);
  // the one originally at that slot comes first. Empty when the detached event
  // names no readable occurrence.
  std::vector<std::shared_ptr<StoreEvent>> getFetchedEvents(
      const CalendarEvent& detachedEvent, const std::shared_ptr<EKEventStoreAdapter>& eventStore,
      const std::shared_ptr<StoreCalendar>& calendar, const StoreEvent& originalEvent) const;
};

}  // namespace tessellon
