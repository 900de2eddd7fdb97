#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

#include <gtest/gtest.h>

#include "model/RecurrenceRule.h"
#include "model/json/CalendarEntryJson.h"
#include "model/json/ItemsMetaDataJson.h"
#include "model/json/JsonText.h"
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

using Entries = std::vector<std::shared_ptr<CalendarEntry>>;

// Writes a backed-up calendar into a store the way the restore does: single events,
// then series anchored at their earliest occurrence, then changed occurrences saved
// over the occurrence the new series has at their original time.
void restoreInto(EventStoreProtocol& store, const CalendarEntry& entry) {
  auto calendar = store.newCalendar();
  calendar->title = entry.title;
  ASSERT_TRUE(store.saveCalendar(calendar, true).ok());
  const auto fill = [](StoreEvent& target, const CalendarEvent& source) {
    target.title = source.title;
    target.startDate = fromSeconds(source.start);
    target.endDate = fromSeconds(source.end);
    target.isAllDay = source.allDay;
    if (!source.allDay) target.timeZone = source.eventTimezone;
    target.notes = source.note;
    target.location = source.location;
    target.url = source.url;
  };
  std::map<std::string, std::shared_ptr<StoreEvent>> series;
  for (const CalendarEvent& event : *entry.events) {
    if (event.isDetached() || !event.recurrence) continue;
    auto written = store.newEvent();
    written->calendar = calendar;
    fill(*written, event);
    for (const CalendarEvent& other : *entry.events) {
      if (other.parentId() == event.id && other.occurence() < written->startDate) {
        written->endDate = *other.occurence() + (written->endDate - written->startDate);
        written->startDate = *other.occurence();
      }
    }
    written->recurrenceRules = {RecurrenceRule::init(*event.recurrence).value()};
    ASSERT_TRUE(store.saveEvent(written, StoreEventSpan::futureEvents, true).ok());
    series[event.id] = written;
  }
  for (const CalendarEvent& event : *entry.events) {
    std::shared_ptr<StoreEvent> written;
    if (!event.isDetached() && !event.recurrence) {
      written = store.newEvent();
      written->calendar = calendar;
    } else if (event.isDetached()) {
      const auto parent = series.at(*event.parentId());
      const Date occurrence = *event.occurence();
      for (const auto& candidate : store.events(
               occurrence, occurrence + std::chrono::seconds(event.end - event.start + 1), {calendar})) {
        if (candidate->eventIdentifier == parent->eventIdentifier && !written) written = candidate;
      }
      ASSERT_TRUE(written) << "no occurrence of " << event.id;
    } else {
      continue;
    }
    fill(*written, event);
    ASSERT_TRUE(store.saveEvent(written, StoreEventSpan::thisEvent, false).ok());
  }
  ASSERT_TRUE(store.commit().ok());
}

class CalendarWriteTest : public ::testing::Test {
 protected:
  Entries entriesOf(const std::string& root) const {
    CalendarRepository repository(root, logger, std::make_shared<CalendarFilter>());
    const auto result = awaitResult(repository.getCalendarEntries());
    EXPECT_TRUE(result && result->isSuccess());
    return result && result->isSuccess() ? result->successValue() : Entries{};
  }
  void ics(const std::string& path, const std::string& body) const {
    dir.write(path, "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n" + body +
                        "END:VCALENDAR\r\n");
  }
  std::string sample() const {
    std::ifstream file(std::string(TESSELLON_TEST_DATA_DIR) + "/calendars/team.ics");
    return std::string(std::istreambuf_iterator<char>(file), {});
  }

  ScopedZone zone{"America/New_York"};
  TempDir dir;
  std::shared_ptr<RecordingLogger> logger = std::make_shared<RecordingLogger>();
};

// Every field the records carry survives store -> record -> JSON -> record -> store.
TEST_F(CalendarWriteTest, RoundTripThroughJsonAndBackIntoAStoreKeepsEveryField) {
  const Date weekly = midnightIn(-10) + std::chrono::hours(8);
  const Date moved = weekly + std::chrono::days(14);
  dir.write("source/work/displayname", "Work\n");
  ics("source/work/weekly.ics",
      "BEGIN:VEVENT\r\nUID:weekly\r\nDTSTART;TZID=Europe/Berlin:" + wallClock(weekly, "Europe/Berlin") +
          "\r\nDTEND;TZID=Europe/Berlin:" + wallClock(weekly + std::chrono::hours(1), "Europe/Berlin") +
          "\r\nRRULE:FREQ=WEEKLY" +
          "\r\nSUMMARY:Weekly\r\nDESCRIPTION:Notes\\, with comma\r\nLOCATION:Room\r\n"
          "URL:https://example.org/w\r\nEND:VEVENT\r\n"
          "BEGIN:VEVENT\r\nUID:weekly\r\nRECURRENCE-ID;TZID=Europe/Berlin:" +
          wallClock(moved, "Europe/Berlin") + "\r\nDTSTART:" +
          wallClock(moved + std::chrono::hours(3), "UTC") + "\r\nDTEND:" +
          wallClock(moved + std::chrono::hours(4), "UTC") + "\r\nSUMMARY:Weekly (moved)\r\nEND:VEVENT\r\n");
  ics("source/work/allday.ics", "BEGIN:VEVENT\r\nUID:allday\r\nDTSTART;VALUE=DATE:" +
                                    wallClock(midnightIn(4), "", true) + "\r\nDTEND;VALUE=DATE:" +
                                    wallClock(midnightIn(6), "", true) +
                                    "\r\nSUMMARY:Trip\r\nEND:VEVENT\r\n");
  ics("source/work/count.ics", "BEGIN:VEVENT\r\nUID:count\r\nDTSTART:" +
                                   wallClock(midnightIn(2) + std::chrono::hours(15), "UTC") +
                                   "\r\nDURATION:PT45M\r\nRRULE:FREQ=DAILY;INTERVAL=3;COUNT=4\r\n"
                                   "SUMMARY:Counted\r\nEND:VEVENT\r\n");
  ics("source/work/until.ics",
      "BEGIN:VEVENT\r\nUID:until\r\nDTSTART;VALUE=DATE:" + wallClock(midnightIn(1), "", true) +
          "\r\nRRULE:FREQ=MONTHLY;BYDAY=2TU;UNTIL=" + wallClock(midnightIn(200), "", true) +
          "\r\nSUMMARY:All-day monthly\r\nEND:VEVENT\r\n"
          "BEGIN:VEVENT\r\nUID:until2\r\nDTSTART:" + wallClock(midnightIn(1) + std::chrono::hours(7), "America/New_York") +
          "\r\nRRULE:FREQ=YEARLY;UNTIL=" + wallClock(midnightIn(300), "UTC") +
          "\r\nSUMMARY:Floating yearly\r\nEND:VEVENT\r\n");

  const Entries source = entriesOf(dir.file("source"));
  ASSERT_EQ(source.size(), 1u);
  ASSERT_EQ(source[0]->events->size(), 6u);

  const ItemsMetaData<CalendarEntry> document(source);
  const std::string text = toJSONString(ItemsMetaDataJson<CalendarEntry>::serialize(document)).value();
  const auto read = ItemsMetaDataJson<CalendarEntry>::deserialize(parseJson(text).value());
  ASSERT_TRUE(read.ok());
  ASSERT_EQ(*read.value(), document);
  const CalendarEntry& backedUp = *read.value()->items->front();
  EXPECT_EQ(backedUp.id, "work");

  std::shared_ptr<EventStoreProtocol> target = openEventStore(dir.file("target"), logger);
  ASSERT_TRUE(target->requestAccess().ok());
  restoreInto(*target, backedUp);

  const Entries restored = entriesOf(dir.file("target"));
  ASSERT_EQ(restored.size(), 1u);
  EXPECT_EQ(restored[0]->title, "Work");
  ASSERT_EQ(restored[0]->events->size(), backedUp.events->size());
  std::map<std::string, std::string> newIds;
  for (const CalendarEvent& original : *backedUp.events) {
    SCOPED_TRACE(original.title);
    const auto match = std::find_if(restored[0]->events->begin(), restored[0]->events->end(),
                                    [&](const CalendarEvent& e) { return e.title == original.title; });
    ASSERT_NE(match, restored[0]->events->end());
    CalendarEvent comparable = *match;
    EXPECT_EQ(comparable.isDetached(), original.isDetached());
    EXPECT_EQ(comparable.RID(), original.RID());
    newIds[original.parentId().value_or(original.id)] = comparable.parentId().value_or(comparable.id);
    comparable.id = original.id;
    EXPECT_EQ(comparable, original);
  }
  // The moved occurrence belongs to the restored series.
  EXPECT_EQ(newIds.size(), 5u);
}

TEST_F(CalendarWriteTest, ChangingOneOccurrenceKeepsTheRestOfTheUsersFile) {
  dir.write("cal/home/team.ics", sample());
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
  for (const char* kept : {"X-EXAMPLE-COLOR:blue", "Team meeting (moved)", "EXDATE;TZID=Europe/Berlin:20190122T100000",
                           "PRODID:-//Example Corp//Team Planner 4.2//EN"}) {
    EXPECT_NE(written.find(kept), std::string::npos) << kept;
  }
  auto reread = openEventStore(dir.file("cal"), logger)->events(midnightIn(0), midnightIn(30), {});
  ASSERT_EQ(reread.size(), events.size());
  const auto changed = std::find_if(reread.begin(), reread.end(), [](const auto& e) { return e->isDetached; });
  ASSERT_NE(changed, reread.end());
  EXPECT_EQ((*changed)->title, "Team meeting, longer");
  EXPECT_EQ((*changed)->occurrenceDate, occurrence->occurrenceDate);
  EXPECT_EQ((*changed)->endDate - (*changed)->startDate, std::chrono::minutes(90));
}

TEST_F(CalendarWriteTest, FileChangedByAnotherProgramIsNeverOverwritten) {
  dir.write("cal/home/team.ics", sample());
  auto store = openEventStore(dir.file("cal"), logger);
  const auto events = store->events(midnightIn(0), midnightIn(30), {});
  ASSERT_FALSE(events.empty());
  events.front()->title = "Mine";
  ASSERT_TRUE(store->saveEvent(events.front(), StoreEventSpan::thisEvent, false).ok());
  const std::string theirs = sample() + "\r\n";
  dir.write("cal/home/team.ics", theirs);
  EXPECT_TRUE(isError(store->commit().error(), BackupSDKError::calendarsSaveCalendarFailed));
  EXPECT_EQ(dir.read("cal/home/team.ics"), theirs);
}

TEST_F(CalendarWriteTest, SavingFutureEventsFromALaterOccurrenceSplitsTheSeries) {
  dir.write("cal/c/displayname", "C\n");
  ics("cal/c/daily.ics", "BEGIN:VEVENT\r\nUID:daily\r\nDTSTART:" +
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

TEST_F(CalendarWriteTest, CreatedCalendarIsAFolderWithItsTitle) {
  CalendarRepository repository(dir.file("cal"), logger, std::make_shared<CalendarFilter>());
  auto entry = std::make_shared<CalendarEntry>(CalendarEntry{"old-id", "Family", std::nullopt});
  EXPECT_THAT(awaitResult(repository.createCalendarEntry(entry)), SucceedsWith(Void{}));
  const Entries entries = entriesOf(dir.file("cal"));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0]->title, "Family");
  EXPECT_NE(entries[0]->id, "old-id");
  EXPECT_EQ(dir.read("cal/" + entries[0]->id + "/displayname"), "Family\n");

  auto store = openEventStore(dir.file("cal"), logger);
  auto orphan = store->newEvent();
  orphan->title = "No calendar";
  EXPECT_TRUE(isError(store->saveEvent(orphan, StoreEventSpan::thisEvent, true).error(),
                      BackupSDKError::calendarsSaveCalendarFailed));
}

}  // namespace
}  // namespace tessellon
