#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <libical/ical.h>

#include "tessellon/Date.h"

#include "platform/calendar/StoreEvent.h"

namespace tessellon::ical {

// The children of one kind, collected first: libical keeps a single iteration
// cursor per component, so nested loops over one component would disturb each other.
std::vector<icalcomponent*> children(icalcomponent* parent, icalcomponent_kind kind);
std::vector<icalproperty*> properties(icalcomponent* component, icalproperty_kind kind);
void removeAll(icalcomponent* component, icalproperty_kind kind);

std::optional<std::string> text(const char* value);

// The span of one occurrence: whole days for dates, seconds otherwise.
struct Length {
  int days = 0;
  int64_t seconds = 0;
};

// From DTEND, else DURATION, else one day for dates and nothing for times.
Length lengthOf(icalcomponent* component, const icaltimetype& start,
                const std::function<icaltimetype(icalproperty*)>& timeOf);

// Copies the descriptive fields every occurrence shares.
void fillFields(StoreEvent& event, icalcomponent* component, const icaltimetype& start);

// Sets start and end of an occurrence beginning at `start`; false when it
// does not overlap [windowStart, windowEnd).
bool placeOccurrence(StoreEvent& event, const icaltimetype& start, const Length& length,
                     Date windowStart, Date windowEnd);

}  // namespace tessellon::ical
