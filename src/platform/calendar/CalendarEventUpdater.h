#pragma once

#include "platform/calendar/CalendarEventUpdaterProtocol.h"

namespace tessellon {

// Copies backed-up event fields onto store events and picks the dates a
// restored series needs. No state.
class CalendarEventUpdater final : public CalendarEventUpdaterProtocol {
 public:
  CalendarEventUpdater() = default;

  void updateBaseFields(StoreEvent& storeEvent, const CalendarEvent& event, Date startDate,
                        Date endDate) const override;
  Date selectEarliestDateFromRecurrentEvents(
      const CalendarEvent& event, const std::vector<CalendarEvent>& detachedEvents) const override;
  bool selectRelatedDetachedEvent(const CalendarEvent& detachedEvent,
                                  const std::string& id) const override;
  std::vector<CalendarEvent> filterRelatedDetachedEvents(
      const std::vector<CalendarEvent>& detachedEvents, const std::string& id) const override;
  std::vector<std::shared_ptr<StoreEvent>> getFetchedEvents(
      const CalendarEvent& detachedEvent,
      const std::shared_ptr<EKEventStoreAdapterProtocol>& eventStore,
      const std::shared_ptr<StoreCalendar>& calendar,
      const StoreEvent& originalEvent) const override;
};

}  // namespace tessellon
