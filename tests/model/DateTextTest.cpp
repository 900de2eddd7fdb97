#include "platform/text/DateText.h"

#include <gtest/gtest.h>

#include "model/ModelTestSupport.h"

namespace tessellon {
namespace {

constexpr int64_t kMarch4th = 1614853230123;          // 2021-03-04T10:20:30.123Z
constexpr int64_t kJuly4th = 1625394030007;           // 2021-07-04T10:20:30.007Z
constexpr int64_t kYearOneApril12 = -62126873608000;  // 0001-04-12 00:00 Berlin local mean time

TEST(DateTextTest, WritesLocalTimeWithMillisecondsAndOffset) {
  const std::tuple<const char*, int64_t, const char*> rows[] = {
      {"UTC", kMarch4th, "2021-03-04T10:20:30.123Z"},
      {"Europe/Berlin", kMarch4th, "2021-03-04T11:20:30.123+01:00"},
      {"Europe/Berlin", kJuly4th, "2021-07-04T12:20:30.007+02:00"},
      {"America/St_Johns", 1610712000000, "2021-01-15T08:30:00.000-03:30"},
      {"UTC", -1, "1969-12-31T23:59:59.999Z"},
      // Before standard time the zone's offset has seconds.
      {"Europe/Berlin", kYearOneApril12, "0001-04-12T00:00:00.000+00:53:28"},
  };
  for (const auto& [name, instant, text] : rows) {
    SCOPED_TRACE(std::string(name) + " " + text);
    ScopedTimeZone zone(name);
    EXPECT_EQ(toString(dateAt(instant)), text);
  }
}

TEST(DateTextTest, ReadsTheAcceptedForms) {
  ScopedTimeZone zone("Europe/Berlin");
  const std::pair<const char*, int64_t> accepted[] = {
      {"2021-03-04T10:20:30.123Z", kMarch4th},
      {" \t2021-03-04T11:20:30.123+01:00\r\n", kMarch4th},
      {"2021-03-04T05:50:30.123-0430", kMarch4th},
      {"2021-03-04T10:20:30.1Z", kMarch4th - 23},
      {"2021-03-04T10:20:30.123999Z", kMarch4th},  // beyond milliseconds: dropped
      {"2021-03-04", 1614812400000},               // local midnight, winter
      {"2021-7-4", 1625349600000},                 // local midnight, summer
      {"--0412", kYearOneApril12},                 // no year: year one
      {"2000-02-29", 951778800000},
  };
  for (const auto& [text, instant] : accepted) {
    SCOPED_TRACE(std::string("\"") + text + "\"");
    const std::optional<Date> date = toDate(text);
    ASSERT_TRUE(date);
    EXPECT_EQ(date->time_since_epoch().count(), instant);
  }
  for (const char* text :
       {"1900-02-29", "2021-13-01", "--13-01", "2021-03-04T10:20:30Z", "2021-03-04T10:20:30.123",
        "2021-03-04T24:00:00.000Z", "2021-03-04T10:20:30.123+25:00", "2021-03-04T10:20:30.123Zjunk",
        "20210304", "  \n"}) {
    SCOPED_TRACE(std::string("\"") + text + "\"");
    EXPECT_FALSE(toDate(text));
  }
}

// What is written reads back as the same instant in every zone, also in the hour that occurs
// twice when summer time ends.
TEST(DateTextTest, WrittenDatesReadBackUnchanged) {
  // Berlin: the last millisecond of winter time, then of summer time, then 02:00 again.
  const int64_t instants[] = {-1, kYearOneApril12, 1616893199999, 1635641999999, 1635642000000};
  for (const char* name : {"UTC", "Europe/Berlin", "America/St_Johns", "Pacific/Chatham"}) {
    ScopedTimeZone zone(name);
    for (const int64_t instant : instants) {
      SCOPED_TRACE(std::string(name) + " " + std::to_string(instant));
      const std::string text = toString(dateAt(instant));
      EXPECT_EQ(toDate(text), dateAt(instant)) << text;
    }
  }
}

}  // namespace
}  // namespace tessellon
