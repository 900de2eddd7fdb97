#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include <libical/ical.h>

namespace tessellon {

// The whole text of one event as a backup keeps it (CalendarEvent::iCalendar): a VCALENDAR with
// a copy of the VEVENT (alarms included) and the VTIMEZONEs its properties name, unfolded lines
// joined by "\n". Kept text comes back from a document, so it is untrusted: parse() reads it
// again and takes exactly one event. Pure functions; safe from any thread.
struct ICalEventSource {
  // Larger events travel as their record alone (an inline attachment can be megabytes).
  static constexpr size_t kMaxBytes = 1 << 20;

  struct Free {
    void operator()(icalcomponent* component) const { icalcomponent_free(component); }
  };
  using Owned = std::unique_ptr<icalcomponent, Free>;

  // The kept text of `event`, a VEVENT inside a calendar object (or standing alone).
  static std::string of(icalcomponent* event);

  // The parsed calendar object of a kept text: a VCALENDAR holding exactly one VEVENT; nothing
  // when the text is larger than kMaxBytes, holds a NUL, or is anything else.
  static Owned parse(const std::string& source);

  // The one VEVENT of a parsed kept text.
  static icalcomponent* eventOf(icalcomponent* calendar);

  // The UID a kept text names; empty when it names none.
  static std::string uidOf(const std::string& source);

  // The text by which two kept events are the same event: the VEVENT's lines in sorted order,
  // without what every copy changes (DTSTAMP, UID).
  static std::string key(std::string_view source);
};

}  // namespace tessellon
