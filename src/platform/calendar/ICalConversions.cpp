#include "platform/calendar/ICalConversions.h"

#include <algorithm>
#include <array>
#include <climits>
#include <ctime>

#include "platform/calendar/LocalTimeZone.h"

namespace tessellon::ical {
namespace {

std::time_t secondsOf(Date instant) {
  return static_cast<std::time_t>(
      std::chrono::floor<std::chrono::seconds>(instant).time_since_epoch().count());
}

Date fromSeconds(std::time_t seconds) { return Date(std::chrono::seconds(seconds)); }

// A libical list (ended by ICAL_RECURRENCE_ARRAY_MAX) as numbers.
template <size_t N>
std::optional<std::vector<int>> listOf(const short (&values)[N]) {
  std::vector<int> list;
  for (size_t i = 0; i < N && values[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) list.push_back(values[i]);
  if (list.empty()) return std::nullopt;
  return list;
}

template <size_t N>
void fillList(short (&target)[N], const std::optional<std::vector<int>>& list) {
  size_t used = 0;
  if (list) {
    for (const int value : *list) {
      if (used + 1 >= N) break;
      if (value < SHRT_MIN || value > SHRT_MAX) continue;
      target[used++] = static_cast<short>(value);
    }
  }
  target[used] = ICAL_RECURRENCE_ARRAY_MAX;
}

}  // namespace

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

RecurrenceRule ruleOf(const icalrecurrencetype& recurrence, const icaltimetype& start) {
  RecurrenceRule rule;
  switch (recurrence.freq) {
    case ICAL_WEEKLY_RECURRENCE: rule.frequency = RecurrenceFrequency::weekly; break;
    case ICAL_MONTHLY_RECURRENCE: rule.frequency = RecurrenceFrequency::monthly; break;
    case ICAL_YEARLY_RECURRENCE: rule.frequency = RecurrenceFrequency::yearly; break;
    default: rule.frequency = RecurrenceFrequency::daily; break;
  }
  rule.interval = std::max<int>(1, recurrence.interval);
  std::vector<RecurrenceDayOfWeek> days;
  for (size_t i = 0; i < ICAL_BY_DAY_SIZE && recurrence.by_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) {
    days.push_back({static_cast<int>(icalrecurrencetype_day_day_of_week(recurrence.by_day[i])),
                    icalrecurrencetype_day_position(recurrence.by_day[i])});
  }
  if (!days.empty()) rule.daysOfTheWeek = std::move(days);
  rule.daysOfTheMonth = listOf(recurrence.by_month_day);
  rule.monthsOfTheYear = listOf(recurrence.by_month);
  rule.weeksOfTheYear = listOf(recurrence.by_week_no);
  rule.daysOfTheYear = listOf(recurrence.by_year_day);
  rule.setPositions = listOf(recurrence.by_set_pos);
  if (!icaltime_is_null_time(recurrence.until)) {
    icaltimetype until = recurrence.until;
    // A floating UNTIL is meant in the series' own zone.
    if (!until.is_date && !icaltime_is_utc(until) && until.zone == nullptr) until.zone = start.zone;
    rule.recurrenceEnd = RecurrenceEnd{instantOf(until), 0};
  } else if (recurrence.count > 0) {
    rule.recurrenceEnd = RecurrenceEnd{std::nullopt, recurrence.count};
  }
  return rule;
}

icalrecurrencetype recurrenceOf(const RecurrenceRule& rule, bool allDay) {
  icalrecurrencetype recurrence;
  icalrecurrencetype_clear(&recurrence);
  static constexpr std::array<icalrecurrencetype_frequency, 4> kFrequencies = {
      ICAL_DAILY_RECURRENCE, ICAL_WEEKLY_RECURRENCE, ICAL_MONTHLY_RECURRENCE,
      ICAL_YEARLY_RECURRENCE};
  const auto frequency = static_cast<size_t>(rule.frequency);
  recurrence.freq = frequency < kFrequencies.size() ? kFrequencies[frequency] : ICAL_DAILY_RECURRENCE;
  recurrence.interval = static_cast<short>(std::clamp(rule.interval, 1, int{SHRT_MAX}));
  size_t used = 0;
  if (rule.daysOfTheWeek) {
    for (const RecurrenceDayOfWeek& day : *rule.daysOfTheWeek) {
      if (used + 1 >= ICAL_BY_DAY_SIZE || day.dayOfTheWeek < 1 || day.dayOfTheWeek > 7) continue;
      if (day.weekNumber < -53 || day.weekNumber > 53) continue;
      const int position = day.weekNumber < 0 ? -day.weekNumber : day.weekNumber;
      const int encoded = position * 8 + day.dayOfTheWeek;
      recurrence.by_day[used++] = static_cast<short>(day.weekNumber < 0 ? -encoded : encoded);
    }
  }
  recurrence.by_day[used] = ICAL_RECURRENCE_ARRAY_MAX;
  fillList(recurrence.by_month_day, rule.daysOfTheMonth);
  fillList(recurrence.by_month, rule.monthsOfTheYear);
  fillList(recurrence.by_week_no, rule.weeksOfTheYear);
  fillList(recurrence.by_year_day, rule.daysOfTheYear);
  fillList(recurrence.by_set_pos, rule.setPositions);
  if (rule.recurrenceEnd && rule.recurrenceEnd->endDate) {
    recurrence.until = allDay ? localDate(*rule.recurrenceEnd->endDate)
                              : timeIn(*rule.recurrenceEnd->endDate, icaltimezone_get_utc_timezone());
  } else if (rule.recurrenceEnd && rule.recurrenceEnd->occurrenceCount > 0) {
    recurrence.count = rule.recurrenceEnd->occurrenceCount;
  }
  return recurrence;
}

}  // namespace tessellon::ical
