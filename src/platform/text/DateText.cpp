#include "platform/text/DateText.h"

#include <time.h>
#include <cstdint>

namespace tessellon {
namespace {

using std::chrono::milliseconds;

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back.
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

bool isLeapYear(int64_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

unsigned daysInMonth(int64_t year, unsigned month) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

int64_t floorDiv(int64_t value, int64_t divisor) {
  const int64_t quotient = value / divisor;
  return quotient * divisor > value ? quotient - 1 : quotient;
}

// The local time zone's offset from UTC at `seconds` since the epoch.
long localOffset(time_t seconds, struct tm* fields) {
  return localtime_r(&seconds, fields) != nullptr ? fields->tm_gmtoff : 0;
}

void appendDigits(std::string& out, int64_t value, int width) {
  char digits[24];
  int length = 0;
  do {
    digits[length++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  for (int i = length; i < width; ++i) out.push_back('0');
  while (length > 0) out.push_back(digits[--length]);
}

// A cursor over the text with the fixed-width number readers the forms need.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool atEnd() const { return position_ == text_.size(); }
  bool literal(char expected) {
    if (atEnd() || text_[position_] != expected) return false;
    ++position_;
    return true;
  }
  std::optional<char> peek() const {
    return atEnd() ? std::nullopt : std::optional<char>(text_[position_]);
  }
  // Exactly `count` decimal digits.
  std::optional<int64_t> digits(size_t count) {
    if (text_.size() - position_ < count) return std::nullopt;
    int64_t value = 0;
    for (size_t i = 0; i < count; ++i) {
      const char c = text_[position_ + i];
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + (c - '0');
    }
    position_ += count;
    return value;
  }
  // Between `least` and `most` digits; the value of the first three as
  // milliseconds when `asFraction`.
  std::optional<int64_t> digitRun(size_t least, size_t most, bool asFraction) {
    size_t count = 0;
    int64_t value = 0;
    while (position_ + count < text_.size() && count < most) {
      const char c = text_[position_ + count];
      if (c < '0' || c > '9') break;
      if (!asFraction || count < 3) value = value * 10 + (c - '0');
      ++count;
    }
    if (count < least) return std::nullopt;
    if (asFraction) {
      for (size_t i = count; i < 3; ++i) value *= 10;
    }
    position_ += count;
    return value;
  }

 private:
  std::string_view text_;
  size_t position_ = 0;
};

struct CivilDate {
  int64_t year;
  unsigned month;
  unsigned day;
};

std::optional<CivilDate> readCivilDate(Reader& reader, bool flexibleMonthDay) {
  const auto year = reader.digits(4);
  if (!year || !reader.literal('-')) return std::nullopt;
  const auto month = flexibleMonthDay ? reader.digitRun(1, 2, false) : reader.digits(2);
  if (!month || !reader.literal('-')) return std::nullopt;
  const auto day = flexibleMonthDay ? reader.digitRun(1, 2, false) : reader.digits(2);
  if (!day || *month < 1 || *month > 12) return std::nullopt;
  const auto monthNumber = static_cast<unsigned>(*month);
  if (*day < 1 || *day > daysInMonth(*year, monthNumber)) return std::nullopt;
  return CivilDate{*year, monthNumber, static_cast<unsigned>(*day)};
}

// "Z", "+01:00", "+0100", "+01", "+00:53:28": seconds east of UTC.
std::optional<int64_t> readOffset(Reader& reader) {
  if (reader.literal('Z')) return 0;
  int sign = 0;
  if (reader.literal('+')) {
    sign = 1;
  } else if (reader.literal('-')) {
    sign = -1;
  } else {
    return std::nullopt;
  }
  const auto hours = reader.digits(2);
  if (!hours || *hours > 23) return std::nullopt;
  int64_t minutes = 0;
  int64_t seconds = 0;
  if (!reader.atEnd()) {
    const bool separated = reader.literal(':');
    const auto readMinutes = reader.digits(2);
    if (!readMinutes || *readMinutes > 59) return std::nullopt;
    minutes = *readMinutes;
    if (separated && reader.literal(':')) {
      const auto readSeconds = reader.digits(2);
      if (!readSeconds || *readSeconds > 59) return std::nullopt;
      seconds = *readSeconds;
    }
  }
  return sign * (*hours * 3600 + minutes * 60 + seconds);
}

std::optional<Date> readDateTime(std::string_view text) {
  Reader reader(text);
  const auto date = readCivilDate(reader, false);
  if (!date || !reader.literal('T')) return std::nullopt;
  const auto hour = reader.digits(2);
  if (!hour || *hour > 23 || !reader.literal(':')) return std::nullopt;
  const auto minute = reader.digits(2);
  if (!minute || *minute > 59 || !reader.literal(':')) return std::nullopt;
  const auto second = reader.digits(2);
  if (!second || *second > 59 || !reader.literal('.')) return std::nullopt;
  const auto millisecond = reader.digitRun(1, 9, true);
  if (!millisecond) return std::nullopt;
  const auto offset = readOffset(reader);
  if (!offset || !reader.atEnd()) return std::nullopt;
  const int64_t seconds = daysFromCivil(date->year, date->month, date->day) * 86400 + *hour * 3600 +
                          *minute * 60 + *second - *offset;
  return Date(milliseconds(seconds * 1000 + *millisecond));
}

// Local midnight of a calendar day. The offset is looked up at the guessed
// instant and once more if the guess crossed an offset change.
Date localMidnight(const CivilDate& date) {
  const int64_t asIfUtc = daysFromCivil(date.year, date.month, date.day) * 86400;
  struct tm fields {};
  const long firstOffset = localOffset(static_cast<time_t>(asIfUtc), &fields);
  const long secondOffset = localOffset(static_cast<time_t>(asIfUtc - firstOffset), &fields);
  return Date(milliseconds((asIfUtc - secondOffset) * 1000));
}

std::optional<Date> readDateOnly(std::string_view text) {
  std::string withYear;
  if (text.size() >= 2 && text[0] == '-' && text[1] == '-') {
    // A date without a year is taken as that day of year 1.
    const std::string_view monthDay = text.substr(2);
    withYear.assign("0001-");
    if (monthDay.size() == 4 &&
        monthDay.find_first_not_of("0123456789") == std::string_view::npos) {
      withYear.append(monthDay.substr(0, 2)).append("-").append(monthDay.substr(2));  // "--MMdd"
    } else {
      withYear.append(monthDay);
    }
    text = withYear;
  }
  Reader reader(text);
  const auto date = readCivilDate(reader, true);
  if (!date || !reader.atEnd()) return std::nullopt;
  return localMidnight(*date);
}

std::string_view trimmed(std::string_view text) {
  constexpr std::string_view kSpace = " \t\n\r\v\f";
  const size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

}  // namespace

std::string toString(Date date) {
  const int64_t totalMilliseconds = date.time_since_epoch().count();
  const int64_t seconds = floorDiv(totalMilliseconds, 1000);
  const int64_t millisecond = totalMilliseconds - seconds * 1000;
  struct tm fields {};
  const long offset = localOffset(static_cast<time_t>(seconds), &fields);

  std::string text;
  text.reserve(32);
  const int64_t year = static_cast<int64_t>(fields.tm_year) + 1900;
  if (year < 0) text.push_back('-');
  appendDigits(text, year < 0 ? -year : year, 4);
  text.push_back('-');
  appendDigits(text, fields.tm_mon + 1, 2);
  text.push_back('-');
  appendDigits(text, fields.tm_mday, 2);
  text.push_back('T');
  appendDigits(text, fields.tm_hour, 2);
  text.push_back(':');
  appendDigits(text, fields.tm_min, 2);
  text.push_back(':');
  appendDigits(text, fields.tm_sec, 2);
  text.push_back('.');
  appendDigits(text, millisecond, 3);
  if (offset == 0) {
    text.push_back('Z');
    return text;
  }
  text.push_back(offset < 0 ? '-' : '+');
  const long magnitude = offset < 0 ? -offset : offset;
  appendDigits(text, magnitude / 3600, 2);
  text.push_back(':');
  appendDigits(text, magnitude / 60 % 60, 2);
  // Historical zones (local mean time) have offsets with seconds.
  if (magnitude % 60 != 0) {
    text.push_back(':');
    appendDigits(text, magnitude % 60, 2);
  }
  return text;
}

std::optional<Date> toDate(std::string_view text) {
  text = trimmed(text);
  if (auto dateTime = readDateTime(text)) return dateTime;
  return readDateOnly(text);
}

}  // namespace tessellon
