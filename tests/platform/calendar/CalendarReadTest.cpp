#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>

#include <gtest/gtest.h>

#include "platform/calendar/CalendarRepository.h"
#include "platform/calendar/CalendarTestSupport.h"
#include "support/AwaitResult.h"
#include "support/ErrorMatchers.h"
#include "support/RecordingLogger.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

// 2001-01-01T00:00:00Z: the origin of occurrence numbers in detached identifiers.
constexpr int64_t kReferenceDate = 978'307'200;

class CalendarReadTest : public ::testing::Test {
 protected:
  void calendar(const std::string& id, const std::string& title) const {
    dir.write(id + "/displayname", title + "\n");
  }
  void ics(const std::string& id, const std::string& name, const std::string& body) const {
    writeIcs(dir, id + "/" + name, body);
  }
  std::vector<std::shared_ptr<CalendarEntry>> entries() const {
    return entriesIn(dir.path(), logger);
  }

  ScopedTimeZone zone{"America/New_York"};
  TempDir dir;
  std::shared_ptr<RecordingLogger> logger = std::make_shared<RecordingLogger>();
};

TEST_F(CalendarReadTest, SeriesOnceWithRuleMovedOccurrenceAllDayAndZones) {
  calendar("work", "Work");
  const Date seriesStart = midnightIn(-20) + std::chrono::hours(9);
  const Date moved = seriesStart + std::chrono::days(7);
  ics("work", "series.ics",
      "BEGIN:VEVENT\r\nUID:series-1\r\nDTSTART;TZID=Europe/Berlin:" +
          wallClock(seriesStart, "Europe/Berlin") + "\r\nDTEND;TZID=Europe/Berlin:" +
          wallClock(seriesStart + std::chrono::minutes(30), "Europe/Berlin") +
          "\r\nRRULE:FREQ=WEEKLY;COUNT=10\r\nSUMMARY:Standup\r\nLOCATION:Room 1\r\n"
          "DESCRIPTION:Daily sync\r\nURL:https://example.org/standup\r\nEND:VEVENT\r\n"
          "BEGIN:VEVENT\r\nUID:series-1\r\nRECURRENCE-ID;TZID=Europe/Berlin:" +
          wallClock(moved, "Europe/Berlin") +
          "\r\nDTSTART:" + wallClock(moved + std::chrono::hours(2), "UTC") +
          "\r\nDTEND:" + wallClock(moved + std::chrono::hours(3), "UTC") +
          "\r\nSUMMARY:Standup moved\r\nEND:VEVENT\r\n");
  ics("work", "holiday.ics",
      "BEGIN:VEVENT\r\nUID:holiday\r\nDTSTART;VALUE=DATE:" + wallClock(midnightIn(3), "", true) +
          "\r\nDTEND;VALUE=DATE:" + wallClock(midnightIn(5), "", true) +
          "\r\nSUMMARY:Holiday\r\nEND:VEVENT\r\n");
  ics("work", "floating.ics",
      "BEGIN:VEVENT\r\nUID:floating\r\nDTSTART:" + wallClock(midnightIn(1), "America/New_York") +
          "\r\nDURATION:PT1H\r\nSUMMARY:Floating\r\nEND:VEVENT\r\n");
  ics("work", "old.ics",
      "BEGIN:VEVENT\r\nUID:old\r\nDTSTART:" + wallClock(midnightIn(-400), "UTC") +
          "\r\nSUMMARY:Too old\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\nUID:late\r\nDTSTART:" +
          wallClock(midnightIn(400), "UTC") + "\r\nSUMMARY:Too late\r\nEND:VEVENT\r\n");

  const auto all = entries();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0]->id, "work");
  EXPECT_EQ(all[0]->title, "Work");
  const std::vector<CalendarEvent>& events = all[0]->events.value();
  EXPECT_EQ(events.size(), 4u);
  EXPECT_EQ(findTitled(events, "Too old"), nullptr);
  EXPECT_EQ(findTitled(events, "Too late"), nullptr);

  const CalendarEvent* series = findTitled(events, "Standup");
  ASSERT_NE(series, nullptr);
  EXPECT_EQ(series->id, "series-1");
  EXPECT_EQ(series->start, secondsOf(seriesStart));
  EXPECT_EQ(series->end, secondsOf(seriesStart) + 1800);
  EXPECT_EQ(series->recurrence, "FREQ=WEEKLY;INTERVAL=1;COUNT=10");
  EXPECT_EQ(series->eventTimezone, "Europe/Berlin");
  EXPECT_EQ(series->location, "Room 1");
  EXPECT_EQ(series->note, "Daily sync");
  EXPECT_EQ(series->url, "https://example.org/standup");
  EXPECT_FALSE(series->allDay);

  const CalendarEvent* detached = findTitled(events, "Standup moved");
  ASSERT_NE(detached, nullptr);
  EXPECT_EQ(detached->id, "series-1/RID=" + std::to_string(secondsOf(moved) - kReferenceDate));
  EXPECT_EQ(detached->occurence(), moved);
  EXPECT_EQ(detached->start, secondsOf(moved) + 7200);
  EXPECT_EQ(detached->eventTimezone, "UTC");

  const CalendarEvent* holiday = findTitled(events, "Holiday");
  ASSERT_NE(holiday, nullptr);
  EXPECT_TRUE(holiday->allDay);
  EXPECT_EQ(holiday->start, secondsOf(midnightIn(3)));
  EXPECT_EQ(holiday->end, secondsOf(midnightIn(5)) - 1);
  EXPECT_EQ(holiday->eventTimezone, "America/New_York");

  const CalendarEvent* floating = findTitled(events, "Floating");
  ASSERT_NE(floating, nullptr);
  EXPECT_EQ(floating->start, secondsOf(midnightIn(1)));
  EXPECT_EQ(floating->end, secondsOf(midnightIn(1)) + 3600);
  EXPECT_EQ(floating->eventTimezone, "America/New_York");
}

// A series begun long ago is backed up once, at its first occurrence in the window, with
// excluded and moved-away occurrences left out. A calendar without events is still backed up.
TEST_F(CalendarReadTest, OldSeriesStartsAtItsFirstOccurrenceInTheWindowAndEmptyCalendarsCount) {
  calendar("empty", "Nothing here");
  dir.write(".hidden/displayname", "Hidden\n");
  calendar("home", "Home");
  dir.write("home/team.ics", readTestData("calendars/team.ics"));
  const auto all = entries();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0]->title, "Nothing here");
  EXPECT_EQ(all[0]->events, std::vector<CalendarEvent>{});
  const std::vector<CalendarEvent>& events = all[1]->events.value();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].id, "team-weekly@example.org");
  EXPECT_EQ(events[0].recurrence, "FREQ=WEEKLY;INTERVAL=2;BYDAY=TU,TH");
  EXPECT_EQ(events[0].eventTimezone, "Europe/Berlin");
  EXPECT_GE(events[0].start, secondsOf(midnightIn(-366)));
  EXPECT_LT(events[0].start, secondsOf(midnightIn(-366 + 15)));
}

TEST_F(CalendarReadTest, ReadOnlyCalendarIsNotBackedUp) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  calendar("subscribed", "Subscribed");
  calendar("mine", "Mine");
  ASSERT_EQ(chmod(dir.file("subscribed").c_str(), 0555), 0);
  const auto all = entries();
  chmod(dir.file("subscribed").c_str(), 0755);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0]->title, "Mine");
}

TEST_F(CalendarReadTest, MalformedFilesAreSkippedWithAWarningAndTheRestIsRead) {
  calendar("c", "C");
  const std::string when = wallClock(midnightIn(2), "UTC");
  ics("c", "good.ics",
      "BEGIN:VEVENT\r\nUID:good\r\nDTSTART:" + when + "\r\nSUMMARY:Good\r\nEND:VEVENT\r\n");
  dir.write(
      "c/truncated.ics",
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:t\r\nDTSTART:" + when + "\r\nSUMM");
  ics("c", "nostart.ics", "BEGIN:VEVENT\r\nUID:n\r\nSUMMARY:No start\r\nEND:VEVENT\r\n");
  ics("c", "badstart.ics", "BEGIN:VEVENT\r\nUID:b\r\nDTSTART:tomorrow\r\nEND:VEVENT\r\n");
  std::string utf16 = "\xFF\xFE";
  for (const char c : std::string("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:u\r\nEND:VEVENT\r\n")) {
    utf16 += c;
    utf16 += '\0';
  }
  dir.write("c/utf16.ics", utf16);
  dir.write("c/latin1.ics", "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:l\r\nDTSTART:" + when +
                                "\r\nSUMMARY:Caf\xE9\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
  ics("c", "longline.ics",
      "BEGIN:VEVENT\r\nUID:long\r\nDTSTART:" + when + "\r\nSUMMARY:" + std::string(1 << 20, 'x') +
          "\r\nEND:VEVENT\r\n");
  ics("c", "impossible.ics",
      "BEGIN:VEVENT\r\nUID:feb30\r\nDTSTART:20200101T100000Z\r\n"
      "RRULE:FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=30\r\nSUMMARY:Never\r\nEND:VEVENT\r\n");
  ics("c", "dense.ics",
      "BEGIN:VEVENT\r\nUID:dense\r\nDTSTART:19700101T000000Z\r\n"
      "RRULE:FREQ=DAILY;BYHOUR=1,2,3,4,5,6,7,8,9,10,11,12\r\nSUMMARY:Dense\r\n"
      "END:VEVENT\r\n");
  ics("c", "badrule.ics",
      "BEGIN:VEVENT\r\nUID:badrule\r\nDTSTART:" + when +
          "\r\nRRULE:FREQ=SOMETIMES;BYDAY=XX\r\nSUMMARY:Bad rule\r\nEND:VEVENT\r\n");
  dir.write("c/empty.ics", "");
  dir.write("c/notes.txt", "not a calendar");

  const auto all = entries();
  ASSERT_EQ(all.size(), 1u);
  std::vector<std::string> titles;
  for (const CalendarEvent& event : *all[0]->events) titles.push_back(event.title);
  std::sort(titles.begin(), titles.end());
  EXPECT_EQ(titles, (std::vector<std::string>{"Bad rule", "Good", std::string(1 << 20, 'x')}));
  for (const char* file : {"truncated.ics", "nostart.ics", "badstart.ics", "utf16.ics",
                           "latin1.ics", "empty.ics", "dense.ics"}) {
    SCOPED_TRACE(file);
    const auto lines = logger->lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const auto& line) {
      return line.first == LogLevel::warning && line.second.find(file) != std::string::npos;
    }));
  }
}

TEST_F(CalendarReadTest, AccessFailsWith801WhenTheFolderCannotBeUsed) {
  const std::string blocked = dir.write("blocked", "a file where the folder should be");
  CalendarRepository repository(blocked, logger);
  EXPECT_THAT(awaitResult(repository.checkAccess(nullptr)),
              FailsWith(BackupSDKError::calendarsAccessDenied));
  EXPECT_THAT(awaitResult(repository.getCalendarEntries()),
              FailsWith(BackupSDKError::calendarsAccessDenied));
  EXPECT_THAT(awaitResult(repository.createCalendarEntry(std::make_shared<CalendarEntry>())),
              SucceedsWith(Void{}));
  EXPECT_EQ(logger->count(LogLevel::debug, "Failed to get eventStore"), 1u);

  CalendarRepository created(dir.file("new/calendars"), logger);
  EXPECT_THAT(awaitResult(created.checkAccess(nullptr)), SucceedsWith(Void{}));
  struct stat status {};
  EXPECT_EQ(stat(dir.file("new/calendars").c_str(), &status), 0);

  auto token = std::make_shared<CancelToken>();
  ASSERT_TRUE(token->cancel().ok());
  EXPECT_THAT(awaitResult(created.checkAccess(token)), IsCancelled());
}

TEST_F(CalendarReadTest, UnreadableFolderIsDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  dir.write("locked/x/displayname", "X\n");
  ASSERT_EQ(chmod(dir.file("locked").c_str(), 0300), 0);
  CalendarRepository repository(dir.file("locked"), logger);
  const auto result = awaitResult(repository.checkAccess(nullptr));
  chmod(dir.file("locked").c_str(), 0755);
  EXPECT_THAT(result, FailsWith(BackupSDKError::calendarsAccessDenied));
}

}  // namespace
}  // namespace tessellon
