#pragma once

#include <ctime>
#include <string>

namespace tessellon {

// The identifier of the machine's current time zone ("Europe/Berlin"): $TZ,
// else the zone /etc/localtime links to, else /etc/timezone, else "UTC".
std::string currentTimeZoneIdentifier();

// The instant of a local wall-clock time (DST resolved by the C library).
std::time_t localInstant(int year, int month, int day, int hour, int minute, int second);

}  // namespace tessellon
