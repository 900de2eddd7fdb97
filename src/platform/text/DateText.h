#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tessellon/Date.h"

namespace tessellon {

// The text form of every date the library writes: ISO 8601 with milliseconds in
// the current local time zone, "2021-03-04T10:20:30.123+01:00", with "Z" for a
// zero offset. Dates before year 1 or after year 9999 have no form that reads
// back.
std::string toString(Date date);

// Reads a date after trimming white space and line breaks around it. Accepted,
// first match wins:
//  1. date-time with fractional seconds and an offset ("Z", "+01:00", "+0100",
//     "+00:53:28"); digits beyond milliseconds are dropped;
//  2. "yyyy-MM-dd", local midnight;
//  3. a date without a year, "--MM-dd" or "--MMdd", read as that day of year 1.
// Nothing for any other text.
std::optional<Date> toDate(std::string_view text);

}  // namespace tessellon
