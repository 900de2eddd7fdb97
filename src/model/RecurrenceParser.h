#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/RecurrenceRule.h"

namespace tessellon {

// Reads the parts of a stored rule text ("FREQ=WEEKLY;INTERVAL=2;BYDAY=MO").
// Lenient on purpose: texts written by older versions and other devices must
// still give a rule, so unknown pieces are skipped rather than rejected.
// "KEY=([chars]*)", matched case-insensitively: the key and the characters
// the captured list may hold besides digits and commas.
struct RecurrenceListPattern {
  std::string_view key;
  bool minus;
  bool letters;
};

class RecurrenceParser {
 public:
  using ListPattern = RecurrenceListPattern;
  static constexpr ListPattern kByDay{"BYDAY=", true, true};
  static constexpr ListPattern kByMonthDay{"BYMONTHDAY=", true, false};
  static constexpr ListPattern kByMonth{"BYMONTH=", false, false};
  static constexpr ListPattern kByWeekNo{"BYWEEKNO=", true, false};
  static constexpr ListPattern kByYearDay{"BYYEARDAY=", true, false};
  static constexpr ListPattern kBySetPos{"BYSETPOS=", true, false};
  static constexpr ListPattern kCount{"COUNT=", true, false};

  explicit RecurrenceParser(std::string ruleString) : text_(std::move(ruleString)) {}

  // The first of "FREQ=DAILY", "FREQ=WEEKLY", "FREQ=MONTHLY", "FREQ=YEARLY"
  // found in the text (case-sensitive); nothing when none is.
  std::optional<RecurrenceFrequency> type() const;
  // The integer after the last "INTERVAL="; 1 when missing or unreadable.
  int interval() const;
  // The BYDAY weekdays; a week number below 1 gives the plain weekday. Nothing
  // without BYDAY; unknown day codes are skipped.
  std::optional<std::vector<RecurrenceDayOfWeek>> days() const;
  // UNTIL when present (a readable date or no end at all), else COUNT.
  std::optional<RecurrenceEnd> end() const;

  // The comma-separated values after the first match of `pattern`, each read
  // as its leading integer (0 when there is none); nothing without a match.
  std::optional<std::vector<int>> numbers(const ListPattern& pattern) const;

 private:
  std::optional<std::vector<std::string>> processRegexp(const ListPattern& pattern) const;

  std::string text_;
};

}  // namespace tessellon
