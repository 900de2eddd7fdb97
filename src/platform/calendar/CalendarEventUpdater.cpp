#include "platform/calendar/CalendarEventUpdater.h"

#include <algorithm>
#include <ctime>

#include "platform/calendar/ICalConversions.h"
#include "platform/calendar/ICalTimeZone.h"
#include "platform/calendar/LocalTimeZone.h"

namespace tessellon {
namespace {

using ical::boundedSeconds;

Date startOfLocalDay(Date instant) {
  const auto seconds = static_cast<std::time_t>(
      std::chrono::floor<std::chrono::seconds>(instant).time_since_epoch().count());
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return instant;
  return Date(std::chrono::seconds(
      localInstant(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, 0, 0, 0)));
}

}  // namespace

void CalendarEventUpdater::updateBaseFields(StoreEvent& storeEvent, const CalendarEvent& event,
                                            Date startDate, Date endDate) const {
  storeEvent.title = event.title;
  // A fetched occurrence keeps its series' flag unless it is set here.
  storeEvent.isAllDay = event.allDay;
  if (event.allDay) {
    storeEvent.startDate = startOfLocalDay(startDate);
    storeEvent.endDate = startOfLocalDay(endDate);
  } else {
    storeEvent.startDate = startDate;
    storeEvent.endDate = endDate;
    const bool defined = event.eventTimezoneDefinition.has_value();
    storeEvent.timeZone = event.eventTimezone && (defined || isKnownTimeZone(*event.eventTimezone))
                              ? event.eventTimezone
                              : std::nullopt;
    storeEvent.timeZoneDefinition = event.eventTimezoneDefinition;
  }
  storeEvent.notes = event.note;
  storeEvent.location = event.location;
  // Kept as it is, valid or not: the file holds any text, and a dropped one would make the
  // restored event differ from its record.
  storeEvent.url = event.url;
  auto instants = [](const std::optional<std::vector<int64_t>>& seconds) {
    std::vector<Date> dates;
    for (const int64_t value : seconds.value_or(std::vector<int64_t>{})) {
      dates.emplace_back(std::chrono::seconds(boundedSeconds(value)));
    }
    return dates;
  };
  storeEvent.exceptionDates = instants(event.exceptionDates);
  storeEvent.recurrenceDates = instants(event.recurrenceDates);
  // Reset too: a fetched occurrence carries its series' kept text, not this event's.
  storeEvent.source =
      event.iCalendar ? std::make_shared<const std::string>(*event.iCalendar) : nullptr;
}

Date CalendarEventUpdater::selectEarliestDateFromRecurrentEvents(
    const CalendarEvent& event, const std::vector<CalendarEvent>& detachedEvents) const {
  Date earliest{std::chrono::seconds(boundedSeconds(event.start))};
  for (const CalendarEvent& detached : filterRelatedDetachedEvents(detachedEvents, event.id)) {
    const std::optional<Date> occurrence = detached.occurence();
    if (occurrence && *occurrence < earliest) earliest = *occurrence;
  }
  return earliest;
}

bool CalendarEventUpdater::selectRelatedDetachedEvent(const CalendarEvent& detachedEvent,
                                                      const std::string& id) const {
  return detachedEvent.parentId() == id;
}

std::vector<CalendarEvent> CalendarEventUpdater::filterRelatedDetachedEvents(
    const std::vector<CalendarEvent>& detachedEvents, const std::string& id) const {
  std::vector<CalendarEvent> related;
  std::copy_if(
      detachedEvents.begin(), detachedEvents.end(), std::back_inserter(related),
      [&](const CalendarEvent& detached) { return selectRelatedDetachedEvent(detached, id); });
  return related;
}

std::vector<std::shared_ptr<StoreEvent>> CalendarEventUpdater::getFetchedEvents(
    const CalendarEvent& detachedEvent, const std::shared_ptr<EKEventStoreAdapter>& eventStore,
    const std::shared_ptr<StoreCalendar>& calendar, const StoreEvent& originalEvent) const {
  const std::optional<Date> occurrence = detachedEvent.occurence();
  const std::shared_ptr<EventStoreProtocol> store = eventStore ? eventStore->eventStore() : nullptr;
  if (!occurrence || !store || !calendar || originalEvent.eventIdentifier.empty()) return {};
  const int64_t length =
      std::max<int64_t>(0, boundedSeconds(detachedEvent.end) - boundedSeconds(detachedEvent.start));
  std::vector<std::shared_ptr<StoreEvent>> fetched =
      store->events(*occurrence, *occurrence + std::chrono::seconds(length), {calendar});
  std::erase_if(fetched, [&](const std::shared_ptr<StoreEvent>& candidate) {
    return !candidate || candidate->eventIdentifier != originalEvent.eventIdentifier;
  });
  // A long occurrence before the slot, or an occurrence already moved into it, overlaps the
  // window too; the one originally at the slot is the one to change.
  std::stable_partition(fetched.begin(), fetched.end(), [&](const auto& candidate) {
    return candidate->occurrenceDate == occurrence;
  });
  return fetched;
}

}  // namespace tessellon
