#include "model/DateText.h"

#include <gtest/gtest.h>

#include "model/ModelTestSupport.h"

namespace tessellon {
namespace {

constexpr int64_t kMarch4th = 1614853230123;          // 2021-03-04T10:20:30.123Z
constexpr int64_t kJuly4th = 1625394030007;           // 2021-07-04T10:20:30.007Z
constexpr int64_t kYearOneApril12 = -62126873608000;  // 0001-04-12 00:00 Berlin local mean time

TEST(DateTextTest, WritesLocalTimeWithMillisecondsAndOffset) {
  struct Row {
    const char* zone;
    int64_t instant;
    const char* text;
  };
  const Row rows[] = {
      {"UTC", kMarch4th, "2021-03-04T10:20:30.123Z"},
      {"Europe/Berlin", kMarch4th, "2021-03-04T11:20:30.123+01:00"},
      {"Europe/Berlin", kJuly4th, "2021-07-04T12:20:30.007+02:00"},
      {"America/St_Johns", 1610712000000, "2021-01-15T08:30:00.000-03:30"},
      {"UTC", -1, "1969-12-31T23:59:59.999Z"},
      // Before standard time the zone's offset has seconds.
      {"Europe/Berlin", kYearOneApril12, "0001-04-12T00:00:00.000+00:53:28"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.zone) + " " + row.text);
    ScopedTimeZone zone(row.zone);
    EXPECT_EQ(toString(dateAt(row.instant)), row.text);
  }
}

TEST(DateTextTest, ReadsTheAcceptedForms) {
  ScopedTimeZone zone("Europe/Berlin");
  struct Row {
    const char* text;
    std::optional<int64_t> instant;
  };
  const Row rows[] = {
      {"2021-03-04T10:20:30.123Z", kMarch4th},
      {" \t2021-03-04T11:20:30.123+01:00\r\n", kMarch4th},
      {"2021-03-04T11:20:30.123+0100", kMarch4th},
      {"2021-03-04T05:50:30.123-04:30", kMarch4th},
      {"2021-03-04T10:20:30.1Z", kMarch4th - 23},
      {"2021-03-04T10:20:30.123999Z", kMarch4th},  // beyond milliseconds: dropped
      {"2021-03-04", 1614812400000},               // local midnight, winter
      {"2021-07-04", 1625349600000},               // local midnight, summer
      {"2021-7-4", 1625349600000},
      {"--04-12", kYearOneApril12},
      {"--0412", kYearOneApril12},
      {"2000-02-29", 951778800000},
      {"2021-02-29", std::nullopt},
      {"1900-02-29", std::nullopt},
      {"2021-13-01", std::nullopt},
      {"2021-00-10", std::nullopt},
      {"--13-01", std::nullopt},
      {"2021-03-04T10:20:30Z", std::nullopt},     // no fraction
      {"2021-03-04T10:20:30.123", std::nullopt},  // no offset
      {"2021-03-04T10:20:30.Z", std::nullopt},
      {"2021-03-04 10:20:30.123Z", std::nullopt},
      {"2021-03-04T24:00:00.000Z", std::nullopt},
      {"2021-03-04T10:60:00.000Z", std::nullopt},
      {"2021-03-04T10:20:30.123+25:00", std::nullopt},
      {"2021-03-04T10:20:30.123Zjunk", std::nullopt},
      {"2021-03-04junk", std::nullopt},
      {"20210304", std::nullopt},
      {"", std::nullopt},
      {"  \n", std::nullopt},
      {"--", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string("\"") + row.text + "\"");
    const std::optional<Date> date = toDate(row.text);
    ASSERT_EQ(date.has_value(), row.instant.has_value());
    if (date) {
      EXPECT_EQ(date->time_since_epoch().count(), *row.instant);
    }
  }
}

// What is written must read back as the same instant in every zone, also in the
// hour that occurs twice when summer time ends.
TEST(DateTextTest, WrittenDatesReadBackUnchanged) {
  const int64_t instants[] = {0,
                              -1,
                              kMarch4th,
                              kJuly4th,
                              kYearOneApril12,
                              1616893199999,   // last millisecond of winter time, Berlin
                              1616893200000,   // first of summer time
                              1635641999999,   // 02:59:59.999 summer time
                              1635642000000};  // 02:00:00.000 again, winter time
  for (const char* name : {"UTC", "Europe/Berlin", "America/St_Johns", "Asia/Kathmandu",
                           "Pacific/Chatham", "America/Los_Angeles"}) {
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
