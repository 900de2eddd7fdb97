#include "platform/calendar/ICalConversions.h"

#include <algorithm>
#include <array>
#include <climits>
#include <ctime>

#include "platform/calendar/LocalTimeZone.h"

namespace tessellon::ical {
namespace {

Date fromSeconds(std::time_t seconds) { return Date(std::chrono::seconds(seconds)); }

}  // namespace

int64_t secondsOf(Date date) {
  return std::chrono::floor<std::chrono::seconds>(date).time_since_epoch().count();
}

int64_t boundedSeconds(int64_t seconds) {
  constexpr int64_t kEarliestSeconds = -62'135'596'800;
  constexpr int64_t kLatestSeconds = 253'402'300'799;
  return std::clamp(seconds, kEarliestSeconds, kLatestSeconds);
}

icaltimezone* zoneNamed(const std::string& identifier) {
  if (identifier.empty()) return nullptr;
  if (identifier == "UTC" || identifier == "GMT" || identifier == "Etc/UTC" || identifier == "Z") {
    return icaltimezone_get_utc_timezone();
  }
  if (icaltimezone* zone = icaltimezone_get_builtin_timezone(identifier.c_str())) return zone;
  return icaltimezone_get_builtin_timezone_from_tzid(identifier.c_str());
}

std::string identifierOf(icaltimezone* zone) {
  if (zone == nullptr) return currentTimeZoneIdentifier();
  if (zone == icaltimezone_get_utc_timezone()) return "UTC";
  if (const char* location = icaltimezone_get_location(zone); location != nullptr && *location) {
    return location;
  }
  const char* tzid = icaltimezone_get_tzid(zone);
  std::string name = tzid != nullptr ? tzid : "";
  // "/freeassociation.sourceforge.net/Europe/Berlin" and similar vendor forms.
  if (!name.empty() && name.front() == '/') {
    const size_t vendorEnd = name.find('/', 1);
    if (vendorEnd != std::string::npos) name = name.substr(vendorEnd + 1);
  }
  return name;
}

Date instantOf(const icaltimetype& time) {
  if (icaltime_is_null_time(time)) return Date{};
  if (time.is_date) return fromSeconds(localInstant(time.year, time.month, time.day, 0, 0, 0));
  if (icaltime_is_utc(time)) return fromSeconds(icaltime_as_timet(time));
  if (time.zone != nullptr) {
    return fromSeconds(icaltime_as_timet_with_zone(time, const_cast<icaltimezone*>(time.zone)));
  }
  return fromSeconds(
      localInstant(time.year, time.month, time.day, time.hour, time.minute, time.second));
}

icaltimetype timeIn(Date instant, icaltimezone* zone) {
  if (zone != nullptr) {
    icaltimetype time = icaltime_from_timet_with_zone(secondsOf(instant), 0, zone);
    // The conversion leaves the result marked as UTC although its fields are in `zone`.
    time.zone = zone;
    return time;
  }
  const std::time_t seconds = secondsOf(instant);
  std::tm local{};
  localtime_r(&seconds, &local);
  icaltimetype time = icaltime_null_time();
  time.year = local.tm_year + 1900;
  time.month = local.tm_mon + 1;
  time.day = local.tm_mday;
  time.hour = local.tm_hour;
  time.minute = local.tm_min;
  time.second = local.tm_sec;
  return time;
}

icaltimetype localDate(Date instant) {
  icaltimetype date = timeIn(instant, nullptr);
  date.hour = date.minute = date.second = 0;
  date.is_date = 1;
  return date;
}

icaltimetype timeLike(Date instant, const icaltimetype& pattern) {
  if (pattern.is_date) return localDate(instant);
  if (icaltime_is_utc(pattern)) return timeIn(instant, icaltimezone_get_utc_timezone());
  return timeIn(instant, const_cast<icaltimezone*>(pattern.zone));
}

RecurrenceRule ruleOf(const icalrecurrencetype& recurrence) {
  char* text = icalrecurrencetype_as_string_r(const_cast<icalrecurrencetype*>(&recurrence));
  RecurrenceRule rule{text != nullptr ? text : ""};
  if (text != nullptr) icalmemory_free_buffer(text);
  return rule;
}

std::optional<RecurrenceRule> parseRule(const std::string& text) {
  icalerror_clear_errno();
  const icalrecurrencetype recurrence = icalrecurrencetype_from_string(text.c_str());
  const bool failed = icalerrno != ICAL_NO_ERROR;
  icalerror_clear_errno();
  if (failed || recurrence.freq == ICAL_NO_RECURRENCE) return std::nullopt;
  return ruleOf(recurrence);
}

icalrecurrencetype recurrenceOf(const RecurrenceRule& rule) {
  return icalrecurrencetype_from_string(rule.rrule.c_str());
}

}  // namespace tessellon::ical
