#include "model/RecurrenceRule.h"

#include <gtest/gtest.h>

#include "model/RecurrenceParser.h"

namespace tessellon {
namespace {

using Days = std::vector<RecurrenceDayOfWeek>;
constexpr int kMonday = 2, kTuesday = 3, kWednesday = 4, kFriday = 6;

Date utc(int year, unsigned month, unsigned day, int hour = 0, int minute = 0, int second = 0) {
  return Date(std::chrono::sys_days(std::chrono::year_month_day(
             std::chrono::year(year), std::chrono::month(month), std::chrono::day(day)))) +
         std::chrono::hours(hour) + std::chrono::minutes(minute) + std::chrono::seconds(second);
}

// Count, date-only until and numbered weekdays are also read in the calendar store's round trip.
TEST(RecurrenceRuleTest, ReadsStoredRuleTexts) {
  struct Row {
    const char* text;
    RecurrenceFrequency frequency;
    int interval;
    std::optional<Days> days;
    std::optional<RecurrenceEnd> end;
  };
  const Row rows[] = {
      {"FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE", RecurrenceFrequency::weekly, 2,
       Days{{kMonday, 0}, {kWednesday, 0}}, std::nullopt},
      // A negative position is not kept: every Friday.
      {"FREQ=MONTHLY;BYDAY=-1FR", RecurrenceFrequency::monthly, 1, Days{{kFriday, 0}},
       std::nullopt},
      {"FREQ=YEARLY;INTERVAL=3;UNTIL=20301231T235959Z", RecurrenceFrequency::yearly, 3,
       std::nullopt, RecurrenceEnd{utc(2030, 12, 31, 23, 59, 59), 0}},
      {"FREQ=WEEKLY;UNTIL=20300102T100000+0200;BYDAY=XX,SU", RecurrenceFrequency::weekly, 1,
       Days{{1, 0}}, RecurrenceEnd{utc(2030, 1, 2, 8), 0}},
      // An UNTIL neither format reads means no end; COUNT is then not consulted.
      {"FREQ=DAILY;UNTIL=20301231T235959;COUNT=4", RecurrenceFrequency::daily, 1, std::nullopt,
       std::nullopt},
      // Only the frequency test is case-sensitive.
      {"FREQ=WEEKLY;byday=tu", RecurrenceFrequency::weekly, 1, Days{}, std::nullopt},
      {"FREQ=WEEKLY;byday=TU", RecurrenceFrequency::weekly, 1, Days{{kTuesday, 0}}, std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const std::optional<RecurrenceRule> rule = RecurrenceRule::init(row.text);
    ASSERT_TRUE(rule.has_value());
    EXPECT_EQ(rule->frequency, row.frequency);
    EXPECT_EQ(rule->interval, row.interval);
    EXPECT_EQ(rule->daysOfTheWeek, row.days);
    EXPECT_EQ(rule->recurrenceEnd, row.end);
  }
}

TEST(RecurrenceRuleTest, ReadsTheNumberLists) {
  const std::optional<RecurrenceRule> rule = RecurrenceRule::init(
      "FREQ=YEARLY;BYMONTH=1,7;BYMONTHDAY=-1,15;BYWEEKNO=20;BYYEARDAY=100,-3;BYSETPOS=-,2x");
  ASSERT_TRUE(rule.has_value());
  EXPECT_EQ(rule->monthsOfTheYear, (std::vector<int>{1, 7}));
  EXPECT_EQ(rule->daysOfTheMonth, (std::vector<int>{-1, 15}));
  EXPECT_EQ(rule->weeksOfTheYear, (std::vector<int>{20}));
  EXPECT_EQ(rule->daysOfTheYear, (std::vector<int>{100, -3}));
  // A list ends at the first character it may not hold; a piece without digits is 0.
  EXPECT_EQ(rule->setPositions, (std::vector<int>{0, 2}));
  // BYMONTH must not be taken from BYMONTHDAY.
  EXPECT_EQ(RecurrenceRule::init("FREQ=MONTHLY;BYMONTHDAY=3")->monthsOfTheYear, std::nullopt);
}

TEST(RecurrenceRuleTest, TextWithoutKnownFrequencyGivesNoRule) {
  for (const char* text : {"freq=daily;BYDAY=MO", "FREQ=HOURLY", "", "INTERVAL=2"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(RecurrenceRule::init(text).has_value());
  }
}

// Count, until and weekdays are written back in the calendar store's round trip.
TEST(RecurrenceRuleTest, NumberListsAreWrittenBack) {
  const char* text =
      "FREQ=YEARLY;INTERVAL=1;BYMONTHDAY=1,15;BYMONTH=3;BYWEEKNO=9;BYYEARDAY=60;BYSETPOS=-1";
  const std::optional<RecurrenceRule> rule = RecurrenceRule::init(text);
  ASSERT_TRUE(rule.has_value());
  EXPECT_EQ(rule->toRRule(), text);
}

// A hostile text must neither crash nor take long.
TEST(RecurrenceRuleTest, HugeRuleTextIsReadWithoutCrashing) {
  std::string text = "FREQ=WEEKLY;BYDAY=";
  for (int i = 0; i < 200'000; ++i) text += "MO,";
  text += ";BYMONTHDAY=" + std::string(500'000, '9');
  const std::optional<RecurrenceRule> rule = RecurrenceRule::init(text);
  ASSERT_TRUE(rule.has_value());
  EXPECT_EQ(rule->daysOfTheWeek->size(), 200'000u);
  EXPECT_EQ(rule->daysOfTheMonth, (std::vector<int>{std::numeric_limits<int>::max()}));
}

}  // namespace
}  // namespace tessellon
