#include "platform/calendar/ICalComponents.h"

#include <algorithm>

#include "platform/calendar/ICalConversions.h"

namespace tessellon::ical {

std::vector<icalcomponent*> children(icalcomponent* parent, icalcomponent_kind kind) {
  std::vector<icalcomponent*> found;
  for (icalcomponent* child = icalcomponent_get_first_component(parent, kind); child != nullptr;
       child = icalcomponent_get_next_component(parent, kind)) {
    found.push_back(child);
  }
  return found;
}

std::vector<icalproperty*> properties(icalcomponent* component, icalproperty_kind kind) {
  std::vector<icalproperty*> found;
  for (icalproperty* property = icalcomponent_get_first_property(component, kind);
       property != nullptr; property = icalcomponent_get_next_property(component, kind)) {
    found.push_back(property);
  }
  return found;
}

void removeAll(icalcomponent* component, icalproperty_kind kind) {
  for (icalproperty* property : properties(component, kind)) {
    icalcomponent_remove_property(component, property);
    icalproperty_free(property);
  }
}

std::optional<std::string> text(const char* value) {
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

Length lengthOf(icalcomponent* component, const icaltimetype& start,
                const std::function<icaltimetype(icalproperty*)>& timeOf) {
  Length length;
  icalproperty* endProperty = icalcomponent_get_first_property(component, ICAL_DTEND_PROPERTY);
  icalproperty* durationProperty =
      icalcomponent_get_first_property(component, ICAL_DURATION_PROPERTY);
  if (endProperty != nullptr && !icaltime_is_null_time(timeOf(endProperty))) {
    const icaltimetype end = timeOf(endProperty);
    if (start.is_date) {
      icaltimetype endDay = end;
      endDay.is_date = 1;
      endDay.zone = nullptr;
      icaltimetype startDay = start;
      startDay.zone = nullptr;
      length.days =
          static_cast<int>((icaltime_as_timet(endDay) - icaltime_as_timet(startDay)) / 86400);
    } else {
      length.seconds = secondsOf(ical::instantOf(end)) - secondsOf(ical::instantOf(start));
    }
  } else if (durationProperty != nullptr) {
    const int seconds = icaldurationtype_as_int(icalproperty_get_duration(durationProperty));
    if (start.is_date) {
      length.days = seconds / 86400;
    } else {
      length.seconds = seconds;
    }
  } else if (start.is_date) {
    length.days = 1;
  }
  length.days = std::clamp(length.days, start.is_date ? 1 : 0, 366 * 100);
  length.seconds = std::max<int64_t>(0, length.seconds);
  return length;
}

void fillFields(StoreEvent& event, icalcomponent* component, const icaltimetype& start) {
  event.title = text(icalcomponent_get_summary(component)).value_or("");
  event.notes = text(icalcomponent_get_description(component));
  event.location = text(icalcomponent_get_location(component));
  if (icalproperty* url = icalcomponent_get_first_property(component, ICAL_URL_PROPERTY)) {
    event.url = text(icalproperty_get_url(url));
  }
  event.isAllDay = start.is_date != 0;
  if (!start.is_date && (icaltime_is_utc(start) || start.zone != nullptr)) {
    icaltimezone* zone = const_cast<icaltimezone*>(start.zone);
    event.timeZone = ical::identifierOf(zone);
    // A zone only this file defines travels with the event, its rules included; without a
    // definition the instants stay exact in UTC.
    if (ical::zoneNamed(*event.timeZone) == nullptr) {
      icalcomponent* definition = zone != nullptr ? icaltimezone_get_component(zone) : nullptr;
      if (definition != nullptr) {
        char* text = icalcomponent_as_ical_string_r(definition);
        event.timeZoneDefinition = text != nullptr ? text : "";
        icalmemory_free_buffer(text);
      } else {
        event.timeZone = "UTC";
      }
    }
  }
}

bool placeOccurrence(StoreEvent& event, const icaltimetype& start, const Length& length,
                     Date windowStart, Date windowEnd) {
  event.startDate = ical::instantOf(start);
  Date exclusiveEnd = event.startDate + std::chrono::seconds(length.seconds);
  if (start.is_date) {
    icaltimetype end = start;
    icaltime_adjust(&end, length.days, 0, 0, 0);
    exclusiveEnd = ical::instantOf(end);
    // All-day events end on the last second of their last day.
    event.endDate = std::max(event.startDate, exclusiveEnd - std::chrono::seconds(1));
  } else {
    event.endDate = exclusiveEnd;
  }
  if (event.startDate >= windowEnd) return false;
  if (exclusiveEnd == event.startDate) return event.startDate >= windowStart;
  return exclusiveEnd > windowStart;
}

}  // namespace tessellon::ical
