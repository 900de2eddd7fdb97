#include <algorithm>

#include <gtest/gtest.h>

#include "platform/calendar/CalendarTestSupport.h"
#include "platform/calendar/EventStoreProtocol.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

TEST(KhalReadsOurEventsTest, SeriesWithMovedOccurrenceAllDayAndZonedEventsShowInKhal) {
  ScopedZone zone("UTC");
  TempDir dir;
  auto store = openEventStore(dir.file("calendars"), nullptr);
  ASSERT_TRUE(store->requestAccess().ok());
  auto calendar = store->newCalendar();
  calendar->title = "Khal check";
  ASSERT_TRUE(store->saveCalendar(calendar, true).ok());

  const Date first = midnightIn(2) + std::chrono::hours(9);
  auto series = store->newEvent();
  series->calendar = calendar;
  series->title = "Standup";
  series->startDate = first;
  series->endDate = first + std::chrono::minutes(15);
  series->timeZone = "Asia/Tokyo";
  series->recurrenceRules = {RecurrenceRule::init("FREQ=WEEKLY;COUNT=4").value()};
  ASSERT_TRUE(store->saveEvent(series, StoreEventSpan::futureEvents, true).ok());

  auto holiday = store->newEvent();
  holiday->calendar = calendar;
  holiday->title = "Holiday";
  holiday->isAllDay = true;
  holiday->startDate = midnightIn(4);
  holiday->endDate = midnightIn(5);
  ASSERT_TRUE(store->saveEvent(holiday, StoreEventSpan::thisEvent, false).ok());
  ASSERT_TRUE(store->commit().ok());

  const Date second = first + std::chrono::days(7);
  const auto occurrences = store->events(second, second + std::chrono::minutes(1), {calendar});
  ASSERT_EQ(occurrences.size(), 1u);
  occurrences[0]->title = "Moved standup";
  occurrences[0]->startDate = second + std::chrono::hours(2);
  occurrences[0]->endDate = second + std::chrono::hours(3);
  ASSERT_TRUE(store->saveEvent(occurrences[0], StoreEventSpan::thisEvent, true).ok());

  const auto output =
      khalList(dir, wallClock(midnightIn(0), "UTC", true).insert(6, "-").insert(4, "-"),
               wallClock(midnightIn(40), "UTC", true).insert(6, "-").insert(4, "-"));
  if (!output) GTEST_SKIP() << "khal is not installed";
  const auto shown = [](Date start, Date end) {
    std::string from = wallClock(start, "UTC"), to = wallClock(end, "UTC");
    const auto format = [](const std::string& stamp) {
      return stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2) + " " +
             stamp.substr(9, 2) + ":" + stamp.substr(11, 2);
    };
    return format(from) + " " + format(to);
  };
  EXPECT_EQ(linesWith(*output, "Standup"), 3u) << *output;
  EXPECT_EQ(linesWith(*output, shown(first, first + std::chrono::minutes(15)) + " Standup"), 1u)
      << *output;
  EXPECT_EQ(linesWith(*output, shown(first + std::chrono::days(21),
                                     first + std::chrono::days(21) + std::chrono::minutes(15)) +
                                   " Standup"),
            1u)
      << *output;
  EXPECT_EQ(
      linesWith(*output, shown(second + std::chrono::hours(2), second + std::chrono::hours(3)) +
                             " Moved standup"),
      1u)
      << *output;
  // An all-day end names the last day: two days, listed under each.
  std::string firstDay = wallClock(midnightIn(4), "UTC", true);
  std::string lastDay = wallClock(midnightIn(5), "UTC", true);
  firstDay.insert(6, "-").insert(4, "-");
  lastDay.insert(6, "-").insert(4, "-");
  EXPECT_EQ(linesWith(*output, firstDay + " " + lastDay + " Holiday"), 2u) << *output;
}

}  // namespace
}  // namespace tessellon
