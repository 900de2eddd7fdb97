#pragma once

#include <string>

namespace tessellon {

// A repetition rule as the calendar store takes and gives it: the RRULE value
// in the store's own spelling ("FREQ=MONTHLY;BYDAY=-1FR"), every part of it
// kept. The store is the only reader of the text, so a rule cannot come back
// as another one.
struct RecurrenceRule {
  std::string rrule;

  // The rule text, as "recurrence" in "calendars.json" carries it.
  const std::string& toRRule() const { return rrule; }

  friend bool operator==(const RecurrenceRule&, const RecurrenceRule&) = default;
};

}  // namespace tessellon
