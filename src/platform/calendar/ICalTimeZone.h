#pragma once

#include <string>

namespace tessellon {

// True when the calendar store can write times in the zone `identifier`
// ("Europe/Berlin", "UTC"); times in any other zone can only float.
bool isKnownTimeZone(const std::string& identifier);

}  // namespace tessellon
