#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <libical/ical.h>

#include "tessellon/Date.h"

#include "platform/calendar/RecurrenceRule.h"

namespace tessellon::ical {

// The zone of a zone identifier ("UTC", "Europe/Berlin"); null when libical
// does not know it.
icaltimezone* zoneNamed(const std::string& identifier);

// The identifier a zone goes by: its location, else its TZID without the
// "/vendor/" prefix some writers put in front.
std::string identifierOf(icaltimezone* zone);

// Whole seconds since 1970, rounded down.
int64_t secondsOf(Date date);

// Seconds bounded to 0001-01-01T00:00:00Z .. 9999-12-31T23:59:59Z: what an iCalendar file can
// hold. Bounding backed-up seconds to it also keeps sums of them from overflowing.
int64_t boundedSeconds(int64_t seconds);

// The instant of a time as read from a file: in its own zone, in UTC, or
// (floating times and dates) in the machine's local zone.
Date instantOf(const icaltimetype& time);

// `instant` as a time of the same kind as `pattern` (date, UTC, zoned or
// floating), for RECURRENCE-ID and EXDATE values that must match DTSTART.
icaltimetype timeLike(Date instant, const icaltimetype& pattern);

// A zoned, UTC or floating (zone null) time.
icaltimetype timeIn(Date instant, icaltimezone* zone);

// The local date of `instant` as an all-day value.
icaltimetype localDate(Date instant);

// The store's form of a rule: libical's own text of it, every part kept.
RecurrenceRule ruleOf(const icalrecurrencetype& recurrence);
// A rule text as libical reads it; nothing when it names no frequency or does
// not parse.
std::optional<RecurrenceRule> parseRule(const std::string& text);
icalrecurrencetype recurrenceOf(const RecurrenceRule& rule);

}  // namespace tessellon::ical
