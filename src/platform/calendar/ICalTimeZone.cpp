#include "platform/calendar/ICalTimeZone.h"

#include "platform/calendar/ICalConversions.h"

namespace tessellon {

bool isKnownTimeZone(const std::string& identifier) {
  return ical::zoneNamed(identifier) != nullptr;
}

}  // namespace tessellon
