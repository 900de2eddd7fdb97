#include <sys/stat.h>
#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/Warnings.h"
#include "platform/calendar/CalendarFilter.h"
#include "platform/calendar/CalendarRepository.h"
#include "platform/calendar/CalendarTestSupport.h"
#include "platform/calendar/EventStoreProtocol.h"
#include "support/AwaitResult.h"
#include "support/ErrorMatchers.h"
#include "support/RecordingLogger.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

class CalendarStoreTest : public ::testing::Test {
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

// Field by field reading is checked with the round trip through a restore. A series begun long
// ago is backed up once, at its first occurrence in the window, without moved-away occurrences.
TEST_F(CalendarStoreTest, OldSeriesStartsAtItsFirstOccurrenceInTheWindow) {
  dir.write(".hidden/displayname", "Hidden\n");
  calendar("home", "Home");
  dir.write("home/team.ics", readTestData("calendars/team.ics"));
  const auto all = entries();
  ASSERT_EQ(all.size(), 1u);
  const std::vector<CalendarEvent>& events = all[0]->events.value();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].id, "team-weekly@example.org");
  EXPECT_EQ(events[0].recurrence, "FREQ=WEEKLY;INTERVAL=2;BYDAY=TU,TH");
  EXPECT_EQ(events[0].eventTimezone, "Europe/Berlin");
  EXPECT_GE(events[0].start, secondsOf(midnightIn(-366)));
  EXPECT_LT(events[0].start, secondsOf(midnightIn(-366 + 15)));
}

TEST_F(CalendarStoreTest, MalformedFilesAreSkippedWithAWarningAndTheRestIsRead) {
  calendar("c", "C");
  const std::string when = wallClock(midnightIn(2), "UTC");
  ics("c", "good.ics",
      "BEGIN:VEVENT\r\nUID:good\r\nDTSTART:" + when + "\r\nSUMMARY:Good\r\nEND:VEVENT\r\n");
  dir.write(
      "c/truncated.ics",
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:t\r\nDTSTART:" + when + "\r\nSUMM");
  ics("c", "nostart.ics", "BEGIN:VEVENT\r\nUID:n\r\nSUMMARY:No start\r\nEND:VEVENT\r\n");
  std::string utf16 = "\xFF\xFE";
  for (const char c : std::string("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:u\r\nEND:VEVENT\r\n")) {
    utf16 += c;
    utf16 += '\0';
  }
  dir.write("c/utf16.ics", utf16);
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
  dir.write("c/notes.txt", "not a calendar");

  CalendarRepository repository(dir.path(), logger, std::make_shared<CalendarFilter>());
  const auto read = awaitResult(repository.getCalendarEntries());
  ASSERT_TRUE(read && read->isSuccess());
  const auto all = read->successValue();
  ASSERT_EQ(all.size(), 1u);
  std::vector<std::string> titles;
  for (const CalendarEvent& event : *all[0]->events) titles.push_back(event.title);
  std::sort(titles.begin(), titles.end());
  EXPECT_EQ(titles, (std::vector<std::string>{"Bad rule", "Good", std::string(1 << 20, 'x')}));
  for (const char* file : {"truncated.ics", "nostart.ics", "utf16.ics", "dense.ics"}) {
    SCOPED_TRACE(file);
    EXPECT_GT(warningsContaining(*logger, file), 0u);
  }
  // Each skipped file is listed, and so is each series whose rule cannot be read or expanded.
  std::vector<std::string> skipped;
  for (const SkippedItem& item : repository.skippedItems()) {
    EXPECT_EQ(item.category, SkippedItem::Category::calendars);
    EXPECT_FALSE(item.reason.empty());
    skipped.push_back(item.path);
  }
  std::sort(skipped.begin(), skipped.end());
  EXPECT_EQ(skipped,
            (std::vector<std::string>{dir.file("c/badrule.ics"), dir.file("c/dense.ics"),
                                      dir.file("c/impossible.ics"), dir.file("c/nostart.ics"),
                                      dir.file("c/truncated.ics"), dir.file("c/utf16.ics")}));
}

TEST_F(CalendarStoreTest, AccessFailsWith801WhenTheFolderCannotBeUsed) {
  const std::string blocked = dir.write("blocked", "a file where the folder should be");
  CalendarRepository repository(blocked, logger);
  EXPECT_THAT(awaitResult(repository.checkAccess(nullptr)),
              FailsWith(BackupSDKError::calendarsAccessDenied));
  EXPECT_THAT(awaitResult(repository.getCalendarEntries()),
              FailsWith(BackupSDKError::calendarsAccessDenied));
  EXPECT_THAT(awaitResult(repository.createCalendarEntry(std::make_shared<CalendarEntry>())),
              SucceedsWith(Void{}));

  // A missing folder is refused, not made: it may be an unmounted disk. Only a restore makes it.
  CalendarRepository created(dir.file("new/calendars"), logger);
  const auto missing = awaitResult(created.checkAccess(nullptr));
  EXPECT_THAT(missing, FailsWith(BackupSDKError::calendarsAccessDenied));
  EXPECT_NE(missing->failure().message.find(dir.file("new/calendars")), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.file("new")));
  ASSERT_TRUE(created.createStore().ok());
  EXPECT_THAT(awaitResult(created.checkAccess(nullptr)), SucceedsWith(Void{}));

  auto token = std::make_shared<CancelToken>();
  ASSERT_TRUE(token->cancel().ok());
  EXPECT_THAT(awaitResult(created.checkAccess(token)), IsCancelled());
}

// ---- Writing

TEST_F(CalendarStoreTest, ChangingOneOccurrenceKeepsTheRestOfTheFileUnlessChangedSinceRead) {
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

TEST_F(CalendarStoreTest, SavingFutureEventsFromALaterOccurrenceSplitsTheSeries) {
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
