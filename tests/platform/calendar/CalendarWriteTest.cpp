#include <algorithm>

#include <gtest/gtest.h>

#include "platform/calendar/CalendarRepository.h"
#include "platform/calendar/CalendarTestSupport.h"
#include "platform/calendar/EventStoreProtocol.h"
#include "support/AwaitResult.h"
#include "support/ErrorMatchers.h"
#include "support/RecordingLogger.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

class CalendarWriteTest : public ::testing::Test {
 protected:
  ScopedTimeZone zone{"America/New_York"};
  TempDir dir;
  std::shared_ptr<RecordingLogger> logger = std::make_shared<RecordingLogger>();
};

TEST_F(CalendarWriteTest, ChangingOneOccurrenceKeepsTheRestOfTheFileUnlessChangedSinceRead) {
  dir.write("cal/home/team.ics", readTestData("calendars/team.ics"));
  auto store = openEventStore(dir.file("cal"), logger);
  const auto events = store->events(midnightIn(0), midnightIn(30), {});
  ASSERT_FALSE(events.empty());
  const std::shared_ptr<StoreEvent> occurrence = events.front();
  EXPECT_EQ(occurrence->eventIdentifier, "team-weekly@example.org");
  EXPECT_FALSE(occurrence->recurrenceRules.empty());
  occurrence->title = "Team meeting, longer";
  occurrence->endDate += std::chrono::minutes(30);
  ASSERT_TRUE(store->saveEvent(occurrence, StoreEventSpan::thisEvent, true).ok());

  const std::string written = dir.read("cal/home/team.ics");
  for (const char* kept :
       {"X-EXAMPLE-COLOR:blue", "Team meeting (moved)", "EXDATE;TZID=Europe/Berlin:20190122T100000",
        "PRODID:-//Example Corp//Team Planner 4.2//EN"}) {
    EXPECT_NE(written.find(kept), std::string::npos) << kept;
  }
  auto again = openEventStore(dir.file("cal"), logger);
  auto reread = again->events(midnightIn(0), midnightIn(30), {});
  ASSERT_EQ(reread.size(), events.size());
  const auto changed =
      std::find_if(reread.begin(), reread.end(), [](const auto& e) { return e->isDetached; });
  ASSERT_NE(changed, reread.end());
  EXPECT_EQ((*changed)->title, "Team meeting, longer");
  EXPECT_EQ((*changed)->occurrenceDate, occurrence->occurrenceDate);
  EXPECT_EQ((*changed)->endDate - (*changed)->startDate, std::chrono::minutes(90));

  // A file another program changed since it was read is never overwritten.
  reread.front()->title = "Mine";
  ASSERT_TRUE(again->saveEvent(reread.front(), StoreEventSpan::thisEvent, false).ok());
  const std::string theirs = written + "\r\n";
  dir.write("cal/home/team.ics", theirs);
  EXPECT_TRUE(isError(again->commit().error(), BackupSDKError::calendarsSaveCalendarFailed));
  EXPECT_EQ(dir.read("cal/home/team.ics"), theirs);
}

TEST_F(CalendarWriteTest, SavingFutureEventsFromALaterOccurrenceSplitsTheSeries) {
  dir.write("cal/c/displayname", "C\n");
  writeIcs(dir, "cal/c/daily.ics",
           "BEGIN:VEVENT\r\nUID:daily\r\nDTSTART:" +
               wallClock(midnightIn(0) + std::chrono::hours(12), "UTC") +
               "\r\nDTEND:" + wallClock(midnightIn(0) + std::chrono::hours(13), "UTC") +
               "\r\nRRULE:FREQ=DAILY;COUNT=10\r\nSUMMARY:Old\r\nEND:VEVENT\r\n");
  auto store = openEventStore(dir.file("cal"), logger);
  auto events = store->events(midnightIn(0), midnightIn(20), {});
  ASSERT_EQ(events.size(), 10u);
  std::sort(events.begin(), events.end(),
            [](const auto& a, const auto& b) { return a->startDate < b->startDate; });
  events[4]->title = "New";
  ASSERT_TRUE(store->saveEvent(events[4], StoreEventSpan::futureEvents, true).ok());
  EXPECT_NE(events[4]->eventIdentifier, "daily");

  auto reread = openEventStore(dir.file("cal"), logger)->events(midnightIn(0), midnightIn(20), {});
  std::sort(reread.begin(), reread.end(),
            [](const auto& a, const auto& b) { return a->startDate < b->startDate; });
  ASSERT_GE(reread.size(), 10u);
  for (size_t i = 0; i < reread.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(reread[i]->title, i < 4 ? "Old" : "New");
  }
}

}  // namespace
}  // namespace tessellon
