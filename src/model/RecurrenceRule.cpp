#include "model/RecurrenceRule.h"

#include <array>
#include <cstdio>

#include "model/RecurrenceParser.h"

namespace tessellon {
namespace {

constexpr std::array<const char*, 4> kFrequencyNames = {"DAILY", "WEEKLY", "MONTHLY", "YEARLY"};
constexpr std::array<const char*, 7> kDayCodes = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
constexpr std::string_view kPrefix = "RRULE ";

void appendList(std::string& text, const char* key, const std::optional<std::vector<int>>& list) {
  if (!list || list->empty()) return;
  text.append(";").append(key).append("=");
  for (size_t i = 0; i < list->size(); ++i) {
    if (i > 0) text.append(",");
    text.append(std::to_string((*list)[i]));
  }
}

std::string utcText(Date date) {
  const auto day = std::chrono::floor<std::chrono::days>(date);
  const std::chrono::year_month_day ymd{day};
  const std::chrono::hh_mm_ss time{std::chrono::floor<std::chrono::seconds>(date - day)};
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d%02u%02uT%02d%02d%02dZ", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return buffer;
}

}  // namespace

std::string RecurrenceRule::description() const {
  const auto frequencyIndex = static_cast<size_t>(frequency);
  std::string text(kPrefix);
  text.append("FREQ=")
      .append(frequencyIndex < kFrequencyNames.size() ? kFrequencyNames[frequencyIndex] : "DAILY")
      .append(";INTERVAL=")
      .append(std::to_string(interval));
  if (recurrenceEnd && recurrenceEnd->endDate) {
    text.append(";UNTIL=").append(utcText(*recurrenceEnd->endDate));
  } else if (recurrenceEnd) {
    text.append(";COUNT=").append(std::to_string(recurrenceEnd->occurrenceCount));
  }
  if (daysOfTheWeek && !daysOfTheWeek->empty()) {
    text.append(";BYDAY=");
    for (size_t i = 0; i < daysOfTheWeek->size(); ++i) {
      const RecurrenceDayOfWeek& day = (*daysOfTheWeek)[i];
      if (i > 0) text.append(",");
      if (day.weekNumber != 0) text.append(std::to_string(day.weekNumber));
      const auto code = static_cast<size_t>(day.dayOfTheWeek - 1);
      text.append(code < kDayCodes.size() ? kDayCodes[code] : "SU");
    }
  }
  appendList(text, "BYMONTHDAY", daysOfTheMonth);
  appendList(text, "BYMONTH", monthsOfTheYear);
  appendList(text, "BYWEEKNO", weeksOfTheYear);
  appendList(text, "BYYEARDAY", daysOfTheYear);
  appendList(text, "BYSETPOS", setPositions);
  return text;
}

std::string RecurrenceRule::toRRule() const {
  const std::string text = description();
  const size_t prefix = text.find(kPrefix);
  return prefix == std::string::npos ? std::string() : text.substr(prefix + kPrefix.size());
}

std::optional<RecurrenceRule> RecurrenceRule::init(std::string_view ruleString) {
  const RecurrenceParser parser{std::string(ruleString)};
  const std::optional<RecurrenceFrequency> frequency = parser.type();
  if (!frequency) return std::nullopt;
  RecurrenceRule rule;
  rule.frequency = *frequency;
  rule.interval = parser.interval();
  rule.daysOfTheWeek = parser.days();
  rule.daysOfTheMonth = parser.numbers(RecurrenceParser::kByMonthDay);
  rule.monthsOfTheYear = parser.numbers(RecurrenceParser::kByMonth);
  rule.weeksOfTheYear = parser.numbers(RecurrenceParser::kByWeekNo);
  rule.daysOfTheYear = parser.numbers(RecurrenceParser::kByYearDay);
  rule.setPositions = parser.numbers(RecurrenceParser::kBySetPos);
  rule.recurrenceEnd = parser.end();
  return rule;
}

}  // namespace tessellon
