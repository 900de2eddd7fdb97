#include "model/RecurrenceParser.h"

#include <array>
#include <cctype>
#include <charconv>
#include <algorithm>
#include <limits>
#include <string_view>

namespace tessellon {
namespace {

// Pieces between the separators, empty ones included ("a;" gives "a", "").
std::vector<std::string_view> split(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  for (size_t found = text.find(separator); found != std::string_view::npos;
       found = text.find(separator, start)) {
    pieces.push_back(text.substr(start, found - start));
    start = found + separator.size();
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

// The whole text as a decimal integer with an optional sign.
std::optional<int> strictInteger(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The leading integer after blanks and a sign; 0 when there is none.
int leadingInteger(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range) {
    return text.front() == '-' ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
  }
  return error == std::errc() ? value : 0;
}

std::optional<int> digits(std::string_view text, size_t at, size_t count) {
  if (at + count > text.size()) return std::nullopt;
  int value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// "Z", "+hh", "+hhmm" or "+hh:mm" as seconds east of UTC.
std::optional<int> zoneOffset(std::string_view zone) {
  if (zone == "Z" || zone == "z") return 0;
  if (zone.size() < 3 || (zone[0] != '+' && zone[0] != '-')) return std::nullopt;
  const int sign = zone[0] == '-' ? -1 : 1;
  const std::optional<int> hours = digits(zone, 1, 2);
  std::optional<int> minutes = 0;
  if (zone.size() == 5) {
    minutes = digits(zone, 3, 2);
  } else if (zone.size() == 6 && zone[3] == ':') {
    minutes = digits(zone, 4, 2);
  } else if (zone.size() != 3) {
    return std::nullopt;
  }
  if (!hours || !minutes || *hours > 23 || *minutes > 59) return std::nullopt;
  return sign * (*hours * 3600 + *minutes * 60);
}

// "YYYYMMdd" followed by `rest`. The year digits are the formatter's
// week-based year; with month and day given, the day of the month decides the
// date, so the result is the calendar date written.
std::optional<std::chrono::sys_days> dayOf(std::string_view text) {
  const std::optional<int> year = digits(text, 0, 4);
  const std::optional<int> month = digits(text, 4, 2);
  const std::optional<int> day = digits(text, 6, 2);
  if (!year || !month || !day) return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year(*year),
                                         std::chrono::month(static_cast<unsigned>(*month)),
                                         std::chrono::day(static_cast<unsigned>(*day))};
  if (!date.ok()) return std::nullopt;
  return std::chrono::sys_days(date);
}

// "YYYYMMdd'T'HHmmssZ" (any offset) or "YYYYMMdd" at midnight UTC.
std::optional<Date> untilDate(std::string_view text) {
  const std::optional<std::chrono::sys_days> day = dayOf(text);
  if (!day) return std::nullopt;
  if (text.size() == 8) return Date(*day);
  if (text.size() < 16 || text[8] != 'T') return std::nullopt;
  const std::optional<int> hour = digits(text, 9, 2);
  const std::optional<int> minute = digits(text, 11, 2);
  const std::optional<int> second = digits(text, 13, 2);
  const std::optional<int> offset = zoneOffset(text.substr(15));
  if (!hour || !minute || !second || !offset || *hour > 23 || *minute > 59 || *second > 59) {
    return std::nullopt;
  }
  return Date(*day) + std::chrono::seconds(*hour * 3600 + *minute * 60 + *second - *offset);
}

constexpr std::array<std::string_view, 7> kDayCodes = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

}  // namespace

std::optional<RecurrenceFrequency> RecurrenceParser::type() const {
  static constexpr std::array<std::pair<std::string_view, RecurrenceFrequency>, 4> kFrequencies{{
      {"FREQ=DAILY", RecurrenceFrequency::daily},
      {"FREQ=WEEKLY", RecurrenceFrequency::weekly},
      {"FREQ=MONTHLY", RecurrenceFrequency::monthly},
      {"FREQ=YEARLY", RecurrenceFrequency::yearly},
  }};
  for (const auto& [marker, frequency] : kFrequencies) {
    if (text_.find(marker) != std::string::npos) return frequency;
  }
  return std::nullopt;
}

int RecurrenceParser::interval() const {
  const std::vector<std::string_view> pieces = split(text_, "INTERVAL=");
  if (pieces.size() < 2) return 1;
  return strictInteger(split(pieces.back(), ";").front()).value_or(1);
}

std::optional<std::vector<RecurrenceDayOfWeek>> RecurrenceParser::days() const {
  // The minus belongs to the captured text so that "-1FR" still names Friday.
  const std::optional<std::vector<std::string>> pieces = processRegexp(kByDay);
  if (!pieces) return std::nullopt;
  std::vector<RecurrenceDayOfWeek> result;
  for (const std::string& piece : *pieces) {
    std::string_view code = piece;
    std::optional<int> weekNumber;
    if (piece.size() >= 3) {
      code = std::string_view(piece).substr(piece.size() - 2);
      weekNumber = strictInteger(std::string_view(piece).substr(0, piece.size() - 2));
    }
    for (size_t day = 0; day < kDayCodes.size(); ++day) {
      if (code != kDayCodes[day]) continue;
      const int number = weekNumber && *weekNumber >= 1 ? *weekNumber : 0;
      result.push_back(RecurrenceDayOfWeek{static_cast<int>(day) + 1, number});
    }
  }
  return result;
}

std::optional<RecurrenceEnd> RecurrenceParser::end() const {
  const std::vector<std::string_view> pieces = split(text_, "UNTIL=");
  if (pieces.size() < 2) {
    const std::optional<std::vector<int>> counts = numbers(kCount);
    if (!counts || counts->empty()) return std::nullopt;
    return RecurrenceEnd{std::nullopt, counts->front()};
  }
  const std::optional<Date> until = untilDate(split(pieces.back(), ";").front());
  if (!until) return std::nullopt;
  return RecurrenceEnd{until, 0};
}

std::optional<std::vector<int>> RecurrenceParser::numbers(const ListPattern& pattern) const {
  const std::optional<std::vector<std::string>> pieces = processRegexp(pattern);
  if (!pieces) return std::nullopt;
  std::vector<int> values;
  values.reserve(pieces->size());
  for (const std::string& piece : *pieces) values.push_back(leadingInteger(piece));
  return values;
}

// A hand-written scan rather than std::regex, whose recursive matcher can
// exhaust the stack on a long hostile rule text.
std::optional<std::vector<std::string>> RecurrenceParser::processRegexp(
    const ListPattern& pattern) const {
  const std::string_view text = text_;
  const std::string_view key = pattern.key;
  const auto sameLetter = [](char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
  };
  const auto found = std::search(text.begin(), text.end(), key.begin(), key.end(), sameLetter);
  if (found == text.end()) return std::nullopt;
  const auto first = found + static_cast<std::ptrdiff_t>(key.size());
  const auto last = std::find_if_not(first, text.end(), [&pattern](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return std::isdigit(byte) || c == ',' || (pattern.minus && c == '-') ||
           (pattern.letters && (std::isalpha(byte) || c == '_'));
  });
  std::vector<std::string> pieces;
  const std::string_view captured =
      text.substr(static_cast<size_t>(first - text.begin()), static_cast<size_t>(last - first));
  for (std::string_view piece : split(captured, ",")) {
    pieces.emplace_back(piece);
  }
  return pieces;
}

}  // namespace tessellon
