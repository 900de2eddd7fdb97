#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessellon/Date.h"

namespace tessellon {

// How often a rule repeats; the values are the calendar store's.
enum class RecurrenceFrequency : int { daily = 0, weekly = 1, monthly = 2, yearly = 3 };

// A weekday of a rule (1 Sunday ... 7 Saturday), optionally the n-th one of the
// period ("2TU"); 0 means every such weekday.
struct RecurrenceDayOfWeek {
  int dayOfTheWeek = 1;
  int weekNumber = 0;

  friend bool operator==(const RecurrenceDayOfWeek&, const RecurrenceDayOfWeek&) = default;
};

// Where a rule stops: after an instant, or after a number of occurrences.
struct RecurrenceEnd {
  std::optional<Date> endDate;
  int occurrenceCount = 0;

  friend bool operator==(const RecurrenceEnd&, const RecurrenceEnd&) = default;
};

// A repetition rule as the calendar store takes and gives it: what backup
// writes as text and restore rebuilds from that text.
struct RecurrenceRule {
  RecurrenceFrequency frequency = RecurrenceFrequency::daily;
  int interval = 1;
  std::optional<std::vector<RecurrenceDayOfWeek>> daysOfTheWeek;
  std::optional<std::vector<int>> daysOfTheMonth;
  std::optional<std::vector<int>> monthsOfTheYear;
  std::optional<std::vector<int>> weeksOfTheYear;
  std::optional<std::vector<int>> daysOfTheYear;
  std::optional<std::vector<int>> setPositions;
  std::optional<RecurrenceEnd> recurrenceEnd;

  // "RRULE FREQ=...;INTERVAL=n" followed by UNTIL (UTC, "yyyyMMddTHHmmssZ") or
  // COUNT, then BYDAY, BYMONTHDAY, BYMONTH, BYWEEKNO, BYYEARDAY and BYSETPOS
  // where present.
  std::string description() const;

  // The description after its first "RRULE ".
  std::string toRRule() const;

  // The rule a stored text describes, read leniently by RecurrenceParser;
  // nothing when the text names no known frequency.
  static std::optional<RecurrenceRule> init(std::string_view ruleString);

  friend bool operator==(const RecurrenceRule&, const RecurrenceRule&) = default;
};

}  // namespace tessellon
