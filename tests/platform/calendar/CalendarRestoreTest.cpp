#include <algorithm>

#include <gtest/gtest.h>

#include "backup/CalendarService.h"
#include "model/json/CalendarEntryJson.h"
#include "model/json/ItemsMetaDataJson.h"
#include "model/json/JsonText.h"
#include "platform/calendar/CalendarEventUpdater.h"
#include "platform/calendar/CalendarFilter.h"
#include "platform/calendar/CalendarRepository.h"
#include "platform/calendar/CalendarRepositoryHelper.h"
#include "platform/calendar/CalendarTestSupport.h"
#include "platform/calendar/EventStoreProtocol.h"
#include "support/AwaitResult.h"
#include "support/ErrorMatchers.h"
#include "support/RecordingLogger.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

using namespace std::chrono_literals;
using Entries = std::vector<std::shared_ptr<CalendarEntry>>;

// 2001-01-01T00:00:00Z: the origin of occurrence numbers in detached identifiers.
constexpr int64_t kReferenceDate = 978'307'200;

CalendarEvent event(std::string id, std::string title, Date start, std::chrono::seconds length) {
  CalendarEvent made;
  made.id = std::move(id);
  made.title = std::move(title);
  made.start = secondsOf(start);
  made.end = made.start + length.count();
  made.eventTimezone = "Asia/Tokyo";
  return made;
}

std::string rid(Date occurrence) {
  return "/RID=" + std::to_string(secondsOf(occurrence) - kReferenceDate);
}

std::shared_ptr<CalendarEntry> entry(std::string title, std::vector<CalendarEvent> events) {
  return std::make_shared<CalendarEntry>(
      CalendarEntry{"backup-id", std::move(title), std::move(events)});
}

const CalendarEvent* find(const std::shared_ptr<CalendarEntry>& calendar,
                          const std::string& title) {
  return findTitled(*calendar->events, title);
}

// "2024-05-01 09:30" in UTC, as khal prints times; `dateOnly` gives "2024-05-01".
std::string khalTime(Date instant, bool dateOnly = false) {
  std::string stamp = wallClock(instant, "UTC", dateOnly);
  std::string text = stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2);
  if (!dateOnly) text += " " + stamp.substr(9, 2) + ":" + stamp.substr(11, 2);
  return text;
}

class CalendarRestoreTest : public ::testing::Test {
 protected:
  std::string root() const { return dir.file("calendars"); }
  std::shared_ptr<CalendarRepository> repository(const std::string& folder,
                                                 bool withHelper = true) const {
    auto helper = withHelper ? std::make_shared<CalendarRepositoryHelper>(
                                   logger, std::make_shared<CalendarEventUpdater>())
                             : nullptr;
    return std::make_shared<CalendarRepository>(folder, logger, std::make_shared<CalendarFilter>(),
                                                helper);
  }
  std::optional<FutureResult<Void>> restore(
      const Entries& entries, std::shared_ptr<CalendarRepository> into = nullptr) const {
    CalendarService service(into ? into : repository(root()));
    return awaitResult(service.restoreCalendars(ItemsMetaData<CalendarEntry>(entries)));
  }
  Entries entriesOf(const std::string& folder) const { return entriesIn(folder, logger); }
  // The iCalendar file the store keeps a restored series in.
  std::string fileOf(const CalendarEntry& calendar, const CalendarEvent& series) const {
    return dir.read("calendars/" + calendar.id + "/" + series.id + ".ics");
  }
  // "<start> <title>" of every occurrence overlapping [from, to), in start order; changed
  // occurrences marked.
  std::vector<std::string> occurrences(Date from, Date to) const {
    auto found = openEventStore(root(), logger)->events(from, to, {});
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a->startDate < b->startDate; });
    std::vector<std::string> shown;
    for (const auto& e : found) {
      shown.push_back(at(e->startDate) + " " + e->title + (e->isDetached ? " (changed)" : ""));
    }
    return shown;
  }
  static std::string at(Date instant) { return wallClock(instant, "Asia/Tokyo"); }
  void ics(const std::string& path, const std::string& body) const { writeIcs(dir, path, body); }

  // No daylight saving time: a week later is the same time of day.
  ScopedTimeZone zone{"Asia/Tokyo"};
  TempDir dir;
  std::shared_ptr<RecordingLogger> logger = std::make_shared<RecordingLogger>();
};

TEST_F(CalendarRestoreTest, WeeklySeriesWhoseFirstOccurrenceMovedStartsAtItsOriginalSlot) {
  const Date first = midnightIn(2) + 10h;
  CalendarEvent series = event("S", "Weekly", first + 7 * 24h, 30min);
  series.recurrence = "FREQ=WEEKLY";
  const auto team =
      entry("Team", {event("S" + rid(first), "Moved", first + 3h, 30min), series,
                     // No length: found through an empty query window.
                     event("S" + rid(first + 14 * 24h), "Instant", first + 14 * 24h + 1h, 0s)});
  ASSERT_THAT(restore({team}), SucceedsWith(Void{}));

  EXPECT_EQ(
      occurrences(first - 24h, first + 22 * 24h),
      (std::vector<std::string>{
          at(first + 3h) + " Moved (changed)", at(first + 7 * 24h) + " Weekly",
          at(first + 14 * 24h + 1h) + " Instant (changed)", at(first + 21 * 24h) + " Weekly"}));
  const Entries result = entriesOf(root());
  ASSERT_EQ(result.size(), 1u);
  EXPECT_EQ(withoutIds(*result[0]), withoutIds(*team));
}

// Occurrences longer than the series' interval overlap the slot before them as well.
TEST_F(CalendarRestoreTest, ChangedOccurrenceOfOverlappingSeriesReplacesItsOwnSlot) {
  const Date first = midnightIn(2) + 8h;
  CalendarEvent festival = event("f", "Festival", first, 36h);
  festival.recurrence = "FREQ=DAILY;COUNT=3";
  ASSERT_THAT(restore({entry(
                  "Long", {festival, event("f" + rid(first + 24h), "Day 2", first + 26h, 36h)})}),
              SucceedsWith(Void{}));
  EXPECT_EQ(occurrences(first, first + 72h),
            (std::vector<std::string>{at(first) + " Festival", at(first + 26h) + " Day 2 (changed)",
                                      at(first + 48h) + " Festival"}));
}

TEST_F(CalendarRestoreTest, OrphansAndSeriesWithUninterpretableRulesBecomeSingleEvents) {
  const Date day = midnightIn(5) + 8h;
  CalendarEvent daily = event("good", "Daily", day, 30min);
  daily.recurrence = "FREQ=DAILY;COUNT=3";
  CalendarEvent badRule = event("bad", "Bad rule", day + 24h, 1h);
  badRule.recurrence = "FREQ=SOMETIMES";
  const auto calendar =
      entry("Mixed", {daily, badRule, event("gone" + rid(day), "Parent not in backup", day, 1h),
                      event("bad" + rid(day + 8 * 24h), "Bad rule moved", day + 8 * 24h + 2h, 1h),
                      event("good" + rid(day + 12h), "Not an occurrence", day + 12h, 1h),
                      event("good/RID=soon", "Unreadable occurrence", day + 13h, 1h)});
  ASSERT_THAT(restore({calendar}), SucceedsWith(Void{}));

  const Entries result = entriesOf(root());
  ASSERT_EQ(result.size(), 1u);
  EXPECT_EQ(result[0]->events->size(), 5u);
  EXPECT_EQ(find(result[0], "Bad rule"), nullptr);
  ASSERT_NE(find(result[0], "Daily"), nullptr);
  EXPECT_EQ(find(result[0], "Daily")->recurrence, "FREQ=DAILY;COUNT=3");
  for (const char* title :
       {"Parent not in backup", "Bad rule moved", "Not an occurrence", "Unreadable occurrence"}) {
    SCOPED_TRACE(title);
    const CalendarEvent* single = find(result[0], title);
    ASSERT_NE(single, nullptr);
    EXPECT_FALSE(single->isDetached());
    EXPECT_EQ(single->recurrence, std::nullopt);
    EXPECT_NE(single->id, find(result[0], "Daily")->id);
  }
}

TEST_F(CalendarRestoreTest, AllDayEventsStartAtMidnight) {
  const Date day = midnightIn(6);
  CalendarEvent conference = event("a", "Conference", day + 10h + 30min, 2h);
  conference.allDay = true;
  ASSERT_THAT(restore({entry("Travel", {conference})}), SucceedsWith(Void{}));

  const Entries result = entriesOf(root());
  ASSERT_EQ(result.size(), 1u);
  const CalendarEvent* allDay = find(result[0], "Conference");
  ASSERT_NE(allDay, nullptr);
  EXPECT_TRUE(allDay->allDay);
  EXPECT_EQ(allDay->start, secondsOf(day));
  EXPECT_EQ(allDay->end, secondsOf(midnightIn(7)) - 1);
}

TEST_F(CalendarRestoreTest, EventsInAnUnknownZoneFloat) {
  const Date day = midnightIn(6);
  CalendarEvent mars = event("m", "On Mars", day + 15h, 1h);
  mars.eventTimezone = "Mars/Olympus";
  ASSERT_THAT(restore({entry("Travel", {mars})}), SucceedsWith(Void{}));

  const Entries result = entriesOf(root());
  ASSERT_EQ(result.size(), 1u);
  const CalendarEvent* floating = find(result[0], "On Mars");
  ASSERT_NE(floating, nullptr);
  EXPECT_EQ(floating->start, mars.start);
  EXPECT_EQ(floating->eventTimezone, "Asia/Tokyo");
  const std::string floatingFile = fileOf(*result[0], *floating);
  EXPECT_NE(floatingFile.find("DTSTART:" + wallClock(day + 15h, "Asia/Tokyo") + "\r\n"),
            std::string::npos)
      << floatingFile;
}

// Whatever text a file held as its URL comes back: a dropped one would make the restored event
// differ from its record, and the next restore add it again.
TEST_F(CalendarRestoreTest, UrlsAreKeptAsTheyAre) {
  const std::vector<std::string> cases = {
      "https://example.org/a%20b?c#d", "mailto:someone@example.org", "not a url",
      "https://example.org/%zz", "https://example.org/\xC3\xA9"};
  std::vector<CalendarEvent> events;
  for (const std::string& url : cases) {
    events.push_back(event("u" + std::to_string(events.size()), url, midnightIn(1), 1h));
    events.back().url = url;
  }
  ASSERT_THAT(restore({entry("Links", events)}), SucceedsWith(Void{}));
  const Entries result = entriesOf(root());
  ASSERT_EQ(result.size(), 1u);
  for (const std::string& url : cases) {
    SCOPED_TRACE(url);
    const CalendarEvent* restored = find(result[0], url);
    ASSERT_NE(restored, nullptr);
    EXPECT_EQ(restored->url, url);
  }
}

// What a backup reads, restored into an empty store, backs up the same again. Restored series get
// new identifiers; changed occurrences keep their occurrence numbers and the link to their series.
TEST_F(CalendarRestoreTest, ReadEventsRoundTripThroughJsonAndASecondStoreAndRunOnce) {
  const Date weekly = midnightIn(-10) + 8h;
  const Date moved = weekly + 14 * 24h;
  dir.write("source/work/displayname", "Work\n");
  dir.write("source/work/team.ics", readTestData("calendars/team.ics"));
  ics("source/work/weekly.ics",
      "BEGIN:VEVENT\r\nUID:weekly\r\nDTSTART;TZID=Asia/Tokyo:" + wallClock(weekly, "Asia/Tokyo") +
          "\r\nDTEND;TZID=Asia/Tokyo:" + wallClock(weekly + 1h, "Asia/Tokyo") +
          "\r\nRRULE:FREQ=WEEKLY\r\nSUMMARY:Weekly\r\nDESCRIPTION:Notes\\, with comma\r\n"
          "LOCATION:Room\r\nURL:https://example.org/w\r\nEND:VEVENT\r\n"
          "BEGIN:VEVENT\r\nUID:weekly\r\nRECURRENCE-ID;TZID=Asia/Tokyo:" +
          wallClock(moved, "Asia/Tokyo") + "\r\nDTSTART:" + wallClock(moved + 3h, "UTC") +
          "\r\nDTEND:" + wallClock(moved + 4h, "UTC") +
          "\r\nSUMMARY:Weekly (moved)\r\nEND:VEVENT\r\n");
  ics("source/work/allday.ics",
      "BEGIN:VEVENT\r\nUID:allday\r\nDTSTART;VALUE=DATE:" +
          wallClock(midnightIn(4), "Asia/Tokyo", true) +
          "\r\nDTEND;VALUE=DATE:" + wallClock(midnightIn(6), "Asia/Tokyo", true) +
          "\r\nSUMMARY:Trip\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\nUID:until\r\nDTSTART;VALUE=DATE:" +
          wallClock(midnightIn(1), "Asia/Tokyo", true) + "\r\nRRULE:FREQ=MONTHLY;BYDAY=2TU;UNTIL=" +
          wallClock(midnightIn(200), "Asia/Tokyo", true) +
          "\r\nSUMMARY:All-day monthly\r\nEND:VEVENT\r\n");
  ics("source/work/floating.ics",
      "BEGIN:VEVENT\r\nUID:floating\r\nDTSTART:" + wallClock(midnightIn(1) + 7h, "Asia/Tokyo") +
          "\r\nRRULE:FREQ=MONTHLY;BYDAY=2TU;UNTIL=" + wallClock(midnightIn(300), "UTC") +
          "\r\nSUMMARY:Floating monthly\r\nEND:VEVENT\r\n");
  ics("source/work/count.ics",
      "BEGIN:VEVENT\r\nUID:count\r\nDTSTART:" + wallClock(midnightIn(2) + 15h, "UTC") +
          "\r\nDURATION:PT45M\r\nRRULE:FREQ=DAILY;INTERVAL=3;COUNT=4\r\n"
          "SUMMARY:Counted\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\nUID:old\r\nDTSTART:" +
          wallClock(midnightIn(-400), "UTC") +
          "\r\nSUMMARY:Too old\r\nEND:VEVENT\r\n"
          "BEGIN:VEVENT\r\nUID:late\r\nDTSTART:" +
          wallClock(midnightIn(400), "UTC") + "\r\nSUMMARY:Too late\r\nEND:VEVENT\r\n");
  dir.write("source/empty/displayname", "Nothing\n");

  const Entries scanned = entriesOf(dir.file("source"));
  ASSERT_EQ(scanned.size(), 2u);
  EXPECT_EQ(scanned[0]->events, std::vector<CalendarEvent>{});
  ASSERT_EQ(scanned[1]->events->size(), 7u);  // neither "Too old" nor "Too late"
  const CalendarEvent* series = find(scanned[1], "Weekly");
  ASSERT_NE(series, nullptr);
  EXPECT_EQ(series->recurrence, "FREQ=WEEKLY");
  EXPECT_EQ(series->note, "Notes, with comma");
  EXPECT_EQ(series->location, "Room");
  EXPECT_EQ(series->url, "https://example.org/w");
  const CalendarEvent* detached = find(scanned[1], "Weekly (moved)");
  ASSERT_NE(detached, nullptr);
  EXPECT_EQ(detached->id, "weekly" + rid(moved));
  EXPECT_EQ(detached->start, secondsOf(moved + 3h));
  EXPECT_EQ(detached->eventTimezone, "UTC");
  const CalendarEvent* trip = find(scanned[1], "Trip");
  ASSERT_NE(trip, nullptr);
  EXPECT_TRUE(trip->allDay);
  EXPECT_EQ(trip->end, secondsOf(midnightIn(6)) - 1);
  EXPECT_EQ(find(scanned[1], "Floating monthly")->eventTimezone, "Asia/Tokyo");

  const ItemsMetaData<CalendarEntry> document(scanned);
  const std::string text =
      toJSONString(ItemsMetaDataJson<CalendarEntry>::serialize(document)).value();
  const auto read = ItemsMetaDataJson<CalendarEntry>::deserialize(parseJson(text).value());
  ASSERT_TRUE(read.ok());
  ASSERT_EQ(*read.value(), document);
  const Entries backup = *read.value()->items;
  ASSERT_THAT(restore(backup), SucceedsWith(Void{}));
  ASSERT_THAT(restore(backup), SucceedsWith(Void{}));

  Entries result = entriesOf(root());
  ASSERT_EQ(result.size(), 2u);
  std::sort(result.begin(), result.end(),
            [](const auto& a, const auto& b) { return a->title < b->title; });
  for (size_t i = 0; i < backup.size(); ++i) {
    SCOPED_TRACE(backup[i]->title);
    EXPECT_EQ(result[i]->title, backup[i]->title);
    EXPECT_EQ(withoutIds(*result[i]), withoutIds(*backup[i]));
  }
  const CalendarEvent* restoredMoved = find(result[1], "Weekly (moved)");
  ASSERT_NE(restoredMoved, nullptr);
  EXPECT_EQ(restoredMoved->parentId(), find(result[1], "Weekly")->id);
  // The series keeps its UID.
  EXPECT_EQ(find(result[1], "Weekly")->id, "weekly");

  // Same title, one event changed: the calendar gets that event, not a second calendar.
  backup[1]->events->front().location = "Elsewhere";
  EXPECT_THAT(restore({backup[1]}), SucceedsWith(Void{}));
  result = entriesOf(root());
  ASSERT_EQ(result.size(), 2u);
  size_t events = 0;
  for (const auto& calendar : result) events += calendar->events->size();
  EXPECT_EQ(events, backup[0]->events->size() + backup[1]->events->size() + 1);
}

TEST_F(CalendarRestoreTest, KhalListsTheRestoredEvents) {
  ScopedTimeZone utc("UTC");
  const Date first = midnightIn(2) + 9h;
  const Date second = first + 7 * 24h;
  CalendarEvent standup = event("s", "Standup", first, 15min);
  standup.eventTimezone = "Asia/Tokyo";
  standup.recurrence = "FREQ=WEEKLY;COUNT=4";
  CalendarEvent moved = event("s" + rid(second), "Moved standup", second + 2h, 1h);
  moved.eventTimezone = "UTC";
  CalendarEvent holiday = event("h", "Holiday", midnightIn(4) + 10h, 24h);
  holiday.allDay = true;
  CalendarEvent call = event("c", "Call Tokyo", midnightIn(3) + 1h, 30min);
  call.eventTimezone = "Asia/Tokyo";
  ASSERT_THAT(restore({entry("Khal check", {standup, moved, holiday, call})}),
              SucceedsWith(Void{}));

  const auto output = khalList(dir, khalTime(midnightIn(0), true), khalTime(midnightIn(40), true));
  if (!output) GTEST_SKIP() << "khal is not installed";
  const auto shown = [](Date start, std::chrono::seconds length) {
    return khalTime(start) + " " + khalTime(start + length);
  };
  EXPECT_EQ(linesWith(*output, "Standup"), 3u) << *output;
  EXPECT_EQ(linesWith(*output, shown(first, 15min) + " Standup"), 1u) << *output;
  EXPECT_EQ(linesWith(*output, shown(first + 21 * 24h, 15min) + " Standup"), 1u) << *output;
  EXPECT_EQ(linesWith(*output, shown(second + 2h, 1h) + " Moved standup"), 1u) << *output;
  EXPECT_EQ(linesWith(*output, shown(midnightIn(3) + 1h, 30min) + " Call Tokyo"), 1u) << *output;
  // Two days (10:00 on the 4th to 10:00 on the 5th), listed under each.
  EXPECT_EQ(linesWith(*output, khalTime(midnightIn(4), true) + " " + khalTime(midnightIn(5), true) +
                                   " Holiday"),
            2u)
      << *output;
}

TEST_F(CalendarRestoreTest, FailsWithTheFirstErrorAndKeepsWhatWasCreatedBefore) {
  const auto withEvents = entry("With events", {event("e", "Event", midnightIn(1), 1h)});
  EXPECT_THAT(restore({entry("First", {}), withEvents, entry("Never", {})},
                      repository(root(), /*withHelper=*/false)),
              FailsWith(BackupSDKError::calendarsSaveCalendarFailed));
  const Entries result = entriesOf(root());
  ASSERT_EQ(result.size(), 1u);
  EXPECT_EQ(result[0]->title, "First");

  const std::string blocked = dir.write("blocked", "a file where the folder should be");
  EXPECT_THAT(restore({withEvents}, repository(blocked)),
              FailsWith(BackupSDKError::calendarsAccessDenied));
}

}  // namespace
}  // namespace tessellon
