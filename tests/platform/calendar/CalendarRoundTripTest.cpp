#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <tuple>

#include <gtest/gtest.h>
#include <libical/ical.h>

#include "backup/CalendarService.h"
#include "model/json/CalendarEntryJson.h"
#include "model/json/ItemsMetaDataJson.h"
#include "model/json/JsonText.h"
#include "platform/Warnings.h"
#include "platform/calendar/CalendarEventUpdater.h"
#include "platform/calendar/CalendarFilter.h"
#include "platform/calendar/CalendarRepository.h"
#include "platform/calendar/CalendarRepositoryHelper.h"
#include "platform/calendar/CalendarTestSupport.h"
#include "support/AwaitResult.h"
#include "support/ErrorMatchers.h"
#include "support/RecordingLogger.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using Entries = std::vector<std::shared_ptr<CalendarEntry>>;

int thisYear() {
  const time_t now = time(nullptr);
  tm fields{};
  localtime_r(&now, &fields);
  return fields.tm_year + 1900;
}

// `text` with every date of the years 1996 to 2000 (a year directly followed by month and day)
// moved by whole weeks so that 1997 falls into this year: the files keep the standard's own
// example dates, their events land in the year around today that a backup reads, and every
// date keeps its weekday.
std::string movedToThisYear(const std::string& text) {
  using namespace std::chrono;
  const auto weeks =
      floor<std::chrono::weeks>(sys_days(year(thisYear()) / 1 / 1) - sys_days(year(1997) / 1 / 1));
  auto digits = [&](size_t at, size_t count) {
    return at + count <= text.size() &&
           std::all_of(text.begin() + at, text.begin() + at + count,
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
  };
  std::string moved;
  for (size_t i = 0; i < text.size();) {
    const bool isDate = (i == 0 || !std::isdigit(static_cast<unsigned char>(text[i - 1]))) &&
                        digits(i, 8) && !digits(i + 8, 1);
    const int y = isDate ? std::stoi(text.substr(i, 4)) : 0;
    if (y < 1996 || y > 2000) {
      moved += text[i++];
      continue;
    }
    const year_month_day day{
        sys_days(year(y) / std::stoi(text.substr(i + 4, 2)) / std::stoi(text.substr(i + 6, 2))) +
        weeks};
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "%04d%02u%02u", static_cast<int>(day.year()),
                  static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()));
    moved += stamp;
    i += 8;
  }
  return moved;
}

class CalendarRoundTripTest : public ::testing::Test {
 protected:
  std::shared_ptr<CalendarRepository> repository(const std::string& folder) const {
    return std::make_shared<CalendarRepository>(
        dir.file(folder), logger, std::make_shared<CalendarFilter>(),
        std::make_shared<CalendarRepositoryHelper>(logger,
                                                   std::make_shared<CalendarEventUpdater>()));
  }

  // A calendar titled "Work" in `folder` holding `file`'s events, its dates moved to this year,
  // one file per series with the time zones it names, as a synchronised calendar folder keeps
  // them.
  void place(const fs::path& file, const std::string& folder) const {
    dir.write(folder + "/work/displayname", "Work\n");
    std::ifstream in(file, std::ios::binary);
    const std::string text =
        movedToThisYear({std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
    const size_t firstEvent = text.find("BEGIN:VEVENT");
    const size_t end = text.rfind("END:VCALENDAR");
    const std::string head = text.substr(0, firstEvent);
    std::map<std::string, std::string> series;
    for (size_t at = firstEvent; at < end;) {
      const size_t next = text.find('\n', text.find("END:VEVENT", at)) + 1;
      const std::string event = text.substr(at, next - at);
      const size_t uid = event.find("\nUID:") + 5;
      series[event.substr(uid, event.find_first_of("\r\n", uid) - uid)] += event;
      at = next;
    }
    int index = 0;
    for (const auto& [uid, events] : series) {
      dir.write(folder + "/work/" + file.stem().string() + "-" + std::to_string(++index) + ".ics",
                head + events + "END:VCALENDAR\r\n");
    }
  }

  // The events khal lists for `folder` in the first weeks of the moved examples, without its
  // complaints (which name files, and so differ between two stores).
  std::optional<std::vector<std::string>> khalEvents(const std::string& folder) const {
    const std::string year = std::to_string(thisYear());
    const auto output = khalList(dir, year + "-08-30", year + "-09-27", folder);
    if (!output) return std::nullopt;
    std::vector<std::string> events;
    std::istringstream lines(*output);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("error:", 0) != 0 && line.rfind("warning:", 0) != 0) events.push_back(line);
    }
    return events;
  }

  Entries entriesOf(const std::string& folder) const {
    const auto read = awaitResult(repository(folder)->getCalendarEntries());
    EXPECT_TRUE(read && read->isSuccess());
    Entries entries = read && read->isSuccess() ? read->successValue() : Entries{};
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a->title < b->title; });
    return entries;
  }

  static Entries throughDocument(const Entries& entries) {
    const std::string text = toJSONString(ItemsMetaDataJson<CalendarEntry>::serialize(
                                              ItemsMetaData<CalendarEntry>(entries)))
                                 .value();
    const auto read = ItemsMetaDataJson<CalendarEntry>::deserialize(parseJson(text).value());
    EXPECT_TRUE(read.ok());
    return read.ok() ? *read.value()->items : Entries{};
  }

  void restore(const Entries& entries, const std::string& folder) const {
    CalendarService service(repository(folder));
    EXPECT_THAT(awaitResult(service.restoreCalendars(ItemsMetaData<CalendarEntry>(entries))),
                SucceedsWith(Void{}));
  }

  // The events (alarms included) of the calendar files under `folder`, each as its property
  // lines, sorted, without DTSTAMP (which every writer sets anew), keyed by UID and RECURRENCE-ID.
  // Lines are compared as libical writes them: it splits multi-valued CATEGORIES and drops a
  // default WKST however the file had them.
  std::map<std::string, std::vector<std::string>> eventsIn(const std::string& folder) const {
    std::map<std::string, std::vector<std::string>> events;
    for (const auto& file : fs::recursive_directory_iterator(dir.file(folder))) {
      if (file.path().extension() != ".ics") continue;
      std::ifstream in(file.path(), std::ios::binary);
      const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      icalcomponent* parsed = icalparser_parse_string(text.c_str());
      char* written = icalcomponent_as_ical_string_r(parsed);
      std::string unfolded;
      for (const char* c = written; *c != '\0'; ++c) {
        if (*c == '\r') continue;
        if (*c == '\n' && (c[1] == ' ' || c[1] == '\t')) {
          ++c;
          continue;
        }
        unfolded += *c;
      }
      icalmemory_free_buffer(written);
      icalcomponent_free(parsed);
      std::istringstream stream(unfolded);
      int depth = 0;
      std::vector<std::string> lines;
      std::string key;
      for (std::string line; std::getline(stream, line);) {
        if (line == "BEGIN:VEVENT") ++depth;
        if (depth == 0) continue;
        if (line.starts_with("UID:") || line.starts_with("RECURRENCE-ID")) key += line + " ";
        if (!line.starts_with("DTSTAMP")) lines.push_back(line);
        if (line == "END:VEVENT" && --depth == 0) {
          std::sort(lines.begin(), lines.end());
          events[key] = std::move(lines);
          lines.clear();
          key.clear();
        }
      }
    }
    return events;
  }

  static size_t eventCount(const Entries& entries) {
    size_t count = 0;
    for (const auto& entry : entries) count += entry->events ? entry->events->size() : 0;
    return count;
  }

  TempDir dir;
  std::shared_ptr<RecordingLogger> logger = std::make_shared<RecordingLogger>();
};

// Each file of real exporters' shapes (alarms, attendees with roles, categories among them): its
// calendar survives "calendars.json" and two restores into an empty store field for field, the
// restored events are the source's property for property, and khal shows the same days as for the
// source. A document without the kept events restores the same records as before.
TEST_F(CalendarRoundTripTest, EveryExportedShapeComesBackExactlyOnce) {
  for (const auto& file : fs::directory_iterator(fs::path(TESSELLON_TEST_DATA_DIR) / "calendars")) {
    const std::string name = file.path().filename().string();
    SCOPED_TRACE(name);
    place(file.path(), "source-" + name);

    auto reader = repository("source-" + name);
    ASSERT_TRUE(awaitResult(reader->getCalendarEntries()));
    EXPECT_EQ(reader->skippedItems(), std::vector<SkippedItem>{});
    const Entries backedUp = entriesOf("source-" + name);
    ASSERT_EQ(backedUp.size(), 1u);
    const Entries document = throughDocument(backedUp);
    restore(document, "target-" + name);
    restore(document, "target-" + name);

    const Entries restored = entriesOf("target-" + name);
    ASSERT_EQ(restored.size(), 1u);
    EXPECT_EQ(restored[0]->title, "Work");
    EXPECT_EQ(withoutIds(*restored[0]), withoutIds(*backedUp[0]));
    // One file event per backed-up event, each that of the source.
    const auto sourceEvents = eventsIn("source-" + name);
    const auto targetEvents = eventsIn("target-" + name);
    EXPECT_EQ(targetEvents.size(), backedUp[0]->events->size());
    for (const auto& [key, lines] : targetEvents) {
      SCOPED_TRACE(key);
      const auto source = sourceEvents.find(key);
      ASSERT_NE(source, sourceEvents.end());
      EXPECT_EQ(lines, source->second);
    }

    Entries recordsOnly = throughDocument(backedUp);
    for (CalendarEvent& event : *recordsOnly[0]->events) event.iCalendar.reset();
    restore(recordsOnly, "records-" + name);
    restore(document, "records-" + name);
    const Entries fromRecords = entriesOf("records-" + name);
    ASSERT_EQ(fromRecords.size(), 1u);
    EXPECT_EQ(withoutIds(*fromRecords[0]), withoutIds(*backedUp[0]));

    for (const auto& [level, line] : logger->lines()) {
      EXPECT_EQ(line.find("kept text"), std::string::npos) << line;
    }

    const auto source = khalEvents("source-" + name);
    if (!source) continue;
    EXPECT_FALSE(source->empty());
    EXPECT_EQ(khalEvents("target-" + name), source);
  }
}

// What the issue saw lost: signed weekday ordinals, sub-daily series, a deleted occurrence.
TEST_F(CalendarRoundTripTest, RulesAndDeletedOccurrencesSurviveAsWritten) {
  place(fs::path(TESSELLON_TEST_DATA_DIR) / "calendars" / "series-and-zones.ics", "source");
  place(fs::path(TESSELLON_TEST_DATA_DIR) / "calendars" / "rule-examples.ics", "source");
  const Entries backedUp = entriesOf("source");
  ASSERT_EQ(backedUp.size(), 1u);
  const std::vector<CalendarEvent>& events = *backedUp[0]->events;
  const struct {
    const char* title;
    const char* rule;
  } rows[] = {
      {"Last-Friday drinks", "FREQ=MONTHLY;BYDAY=-1FR"},
      {"Second-to-last Monday for 6 months", "FREQ=MONTHLY;COUNT=6;BYDAY=-2MO"},
      {"Server checks", "FREQ=HOURLY;COUNT=6;INTERVAL=4"},
      {"Every 15 minutes, 6 times", "FREQ=MINUTELY;COUNT=6;INTERVAL=15"},
      {"Countdown pings", "FREQ=SECONDLY;COUNT=4;INTERVAL=30"},
      // Monday is where weeks start anyway; Sunday must be said.
      {"Week starting Monday", "FREQ=WEEKLY;COUNT=4;INTERVAL=2;BYDAY=TU,SU"},
      {"Week starting Sunday", "FREQ=WEEKLY;COUNT=4;INTERVAL=2;BYDAY=SU,TU;WKST=SU"},
      {"Third of Tuesday to Thursday, 3 months", "FREQ=MONTHLY;COUNT=3;BYDAY=TU,WE,TH;BYSETPOS=3"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.title);
    const CalendarEvent* event = findTitled(events, row.title);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(event->recurrence, row.rule);
  }
  const CalendarEvent* sync = findTitled(events, "Team sync");
  ASSERT_NE(sync, nullptr);
  ASSERT_TRUE(sync->exceptionDates);
  ASSERT_EQ(sync->exceptionDates->size(), 1u);
  ASSERT_TRUE(sync->recurrenceDates);
  ASSERT_EQ(sync->recurrenceDates->size(), 1u);
  ASSERT_NE(findTitled(events, "Team sync (moved for the audit)"), nullptr);
  // A zone only the file defines keeps its name and its rules.
  const CalendarEvent* seattle = findTitled(events, "Call with the Seattle office");
  ASSERT_NE(seattle, nullptr);
  EXPECT_EQ(seattle->eventTimezone, "Pacific Standard Time");
  ASSERT_TRUE(seattle->eventTimezoneDefinition);
  EXPECT_NE(seattle->eventTimezoneDefinition->find("TZOFFSETTO:-0700"), std::string::npos);

  restore(throughDocument(backedUp), "target");
  const Date deleted = fromSeconds(sync->exceptionDates->front());
  const Date added = fromSeconds(sync->recurrenceDates->front());
  auto titlesAt = [&](Date instant) {
    std::vector<std::string> titles;
    for (const auto& found :
         openEventStore(dir.file("target"), logger)->events(instant, instant, {})) {
      titles.push_back(found->title);
    }
    return titles;
  };
  EXPECT_EQ(titlesAt(deleted), std::vector<std::string>{});
  EXPECT_EQ(titlesAt(added), std::vector<std::string>{"Team sync"});
}

// A calendar already holding some of the backup's events gets the missing ones, not a twin; any
// number of further restores change nothing.
TEST_F(CalendarRoundTripTest, RestoringAgainFillsTheCalendarThatIsThere) {
  place(fs::path(TESSELLON_TEST_DATA_DIR) / "calendars" / "series-and-zones.ics", "source");
  const Entries backedUp = throughDocument(entriesOf("source"));
  ASSERT_EQ(backedUp.size(), 1u);
  auto half = std::make_shared<CalendarEntry>(*backedUp[0]);
  half->events->resize(half->events->size() / 2);
  restore({half}, "target");
  ASSERT_EQ(eventCount(entriesOf("target")), half->events->size());

  for (int run = 1; run <= 3; ++run) {
    SCOPED_TRACE(run);
    restore(backedUp, "target");
    const Entries restored = entriesOf("target");
    ASSERT_EQ(restored.size(), 1u);
    EXPECT_EQ(withoutIds(*restored[0]), withoutIds(*backedUp[0]));
  }
}

// An occurrence changed here after the backup stays as it is here; the restore names the
// backup's version instead of writing it over this one.
TEST_F(CalendarRoundTripTest, AnOccurrenceChangedHereSinceTheBackupIsKept) {
  using std::chrono::hours;
  const Date first = midnightIn(3) + hours(9);
  const std::string second = wallClock(first + hours(24 * 7), "UTC");
  dir.write("source/work/displayname", "Work\n");
  writeIcs(dir, "source/work/s.ics",
           "BEGIN:VEVENT\r\nUID:s\r\nDTSTART:" + wallClock(first, "UTC") +
               "\r\nDURATION:PT1H\r\nRRULE:FREQ=WEEKLY;COUNT=4\r\nSUMMARY:Standup\r\n"
               "END:VEVENT\r\nBEGIN:VEVENT\r\nUID:s\r\nRECURRENCE-ID:" +
               second + "\r\nDTSTART:" + second +
               "\r\nDURATION:PT2H\r\nSUMMARY:Standup (long)\r\nEND:VEVENT\r\n");
  const Entries backedUp = throughDocument(entriesOf("source"));
  restore(backedUp, "target");
  std::string changed;
  for (const auto& file : fs::recursive_directory_iterator(dir.file("target"))) {
    if (file.path().extension() != ".ics") continue;
    std::ifstream in(file.path(), std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const size_t at = text.find("Standup (long)");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 14, "Standup (mine)");
    std::ofstream(file.path(), std::ios::binary | std::ios::trunc) << text;
    changed = file.path().string();
  }
  ASSERT_FALSE(changed.empty());

  CalendarService service(repository("target"));
  ASSERT_THAT(awaitResult(service.restoreCalendars(ItemsMetaData<CalendarEntry>(backedUp))),
              SucceedsWith(Void{}));
  const Entries restored = entriesOf("target");
  ASSERT_EQ(restored.size(), 1u);
  std::vector<std::string> titles;
  for (const CalendarEvent& event : *restored.front()->events) titles.push_back(event.title);
  std::sort(titles.begin(), titles.end());
  EXPECT_EQ(titles, (std::vector<std::string>{"Standup", "Standup (mine)"}));
  const std::vector<SkippedItem> skipped = service.skippedItems();
  ASSERT_EQ(skipped.size(), 1u);
  EXPECT_EQ(skipped[0].path, "calendars.json: Work: Standup (long)");
  EXPECT_EQ(skipped[0].category, SkippedItem::Category::calendars);
}

// A kept event comes from a document anyone may have edited: it is read before it is written, its
// UID never names a file outside the calendar nor takes one the calendar has, and the record wins
// where the two disagree.
TEST_F(CalendarRoundTripTest, AKeptEventIsCheckedBeforeItIsWritten) {
  const std::string start = wallClock(midnightIn(3) + std::chrono::hours(9), "UTC");
  const std::string end = wallClock(midnightIn(3) + std::chrono::hours(10), "UTC");
  const std::string alarm =
      "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Soon\r\n"
      "TRIGGER:-PT5M\r\nEND:VALARM\r\n";
  dir.write("source/work/displayname", "Work\n");
  writeIcs(dir, "source/work/a.ics",
           "BEGIN:VEVENT\r\nUID:../../escape\r\nDTSTART:" + start + "\r\nDTEND:" + end +
               "\r\nSUMMARY:Planning\r\n" + alarm + "END:VEVENT\r\n");
  writeIcs(dir, "source/work/b.ics",
           "BEGIN:VEVENT\r\nUID:taken\r\nDTSTART:" + start + "\r\nDTEND:" + end +
               "\r\nSUMMARY:Review\r\nX-COLOR:teal\r\nEND:VEVENT\r\n");
  Entries document = throughDocument(entriesOf("source"));
  ASSERT_EQ(document.size(), 1u);
  std::vector<CalendarEvent>& events = *document[0]->events;
  ASSERT_EQ(events.size(), 2u);
  std::sort(events.begin(), events.end(),
            [](const auto& a, const auto& b) { return a.title < b.title; });
  events[0].title = "Planning (renamed)";
  CalendarEvent twice = events[1];
  twice.title = "Twice";
  *twice.iCalendar += "\n" + *events[1].iCalendar;
  events.push_back(twice);
  // The target's calendar of that title has another event under one of the UIDs.
  dir.write("target/mine/displayname", "Work\n");
  writeIcs(dir, "target/mine/taken.ics",
           "BEGIN:VEVENT\r\nUID:taken\r\nDTSTART:" + start + "\r\nSUMMARY:Mine\r\nEND:VEVENT\r\n");

  restore(document, "target");
  restore(document, "target");

  for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
    const std::string path = entry.path().string();
    EXPECT_TRUE(!entry.is_regular_file() || path.starts_with(dir.file("source/")) ||
                path.starts_with(dir.file("target/mine/")))
        << path;
  }
  const auto restored = eventsIn("target");
  EXPECT_EQ(restored.size(), 4u);
  std::map<std::string, std::vector<std::string>> byTitle;
  for (const auto& [key, lines] : restored) {
    for (const std::string& line : lines) {
      if (line.starts_with("SUMMARY:")) byTitle[line.substr(8)] = lines;
    }
  }
  auto has = [&](const std::string& title, const std::string& line) {
    const auto& lines = byTitle[title];
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  EXPECT_TRUE(has("Mine", "UID:taken"));
  EXPECT_FALSE(has("Review", "UID:taken"));
  EXPECT_TRUE(has("Review", "X-COLOR:teal"));
  EXPECT_TRUE(has("Planning (renamed)", "UID:../../escape"));
  EXPECT_TRUE(has("Planning (renamed)", "TRIGGER:-PT5M"));
  EXPECT_FALSE(has("Twice", "X-COLOR:teal"));
  EXPECT_EQ(warningsContaining(*logger, "kept text"), 2u);
}

// An event with an inline attachment of megabytes travels as its record alone, with a warning.
TEST_F(CalendarRoundTripTest, AnEventBeyondTheSizeBoundKeepsItsRecordAlone) {
  const std::string start = wallClock(midnightIn(3), "UTC");
  dir.write("calendars/c/displayname", "C\n");
  writeIcs(dir, "calendars/c/small.ics",
           "BEGIN:VEVENT\r\nUID:s\r\nDTSTART:" + start + "\r\nSUMMARY:Small\r\nEND:VEVENT\r\n");
  writeIcs(dir, "calendars/c/large.ics",
           "BEGIN:VEVENT\r\nUID:l\r\nDTSTART:" + start +
               "\r\nSUMMARY:Large\r\nATTACH;ENCODING=BASE64;VALUE=BINARY:" +
               std::string(3 << 19, 'Q') + "\r\nEND:VEVENT\r\n");
  const Entries entries = entriesOf("calendars");
  ASSERT_EQ(entries.size(), 1u);
  const CalendarEvent* large = findTitled(*entries[0]->events, "Large");
  const CalendarEvent* small = findTitled(*entries[0]->events, "Small");
  ASSERT_NE(large, nullptr);
  ASSERT_NE(small, nullptr);
  EXPECT_FALSE(large->iCalendar.has_value());
  ASSERT_TRUE(small->iCalendar.has_value());
  EXPECT_NE(small->iCalendar->find("SUMMARY:Small"), std::string::npos);
  EXPECT_EQ(warningsContaining(*logger, "\"Large\""), 1u);
}

// A document from elsewhere may hold a rule the store cannot read: that series is not written,
// and the restore says which one.
TEST_F(CalendarRoundTripTest, ASeriesWhoseRuleCannotBeReadIsListedBySkippedRestore) {
  CalendarEvent good;
  good.id = "g";
  good.title = "Good";
  good.start = secondsOf(midnightIn(3));
  good.end = good.start + 3600;
  good.recurrence = "FREQ=WEEKLY";
  CalendarEvent bad = good;
  bad.id = "b";
  bad.title = "Sometimes";
  bad.recurrence = "FREQ=SOMETIMES";
  CalendarService service(repository("calendars"));
  ASSERT_THAT(awaitResult(service.restoreCalendars(ItemsMetaData<CalendarEntry>(
                  {std::make_shared<CalendarEntry>(CalendarEntry{"w", "Work", {{good, bad}}})}))),
              SucceedsWith(Void{}));
  const Entries restored = entriesOf("calendars");
  ASSERT_EQ(restored.size(), 1u);
  ASSERT_EQ(restored[0]->events->size(), 1u);
  EXPECT_EQ(restored[0]->events->front().title, "Good");
  const std::vector<SkippedItem> skipped = service.skippedItems();
  ASSERT_EQ(skipped.size(), 1u);
  EXPECT_EQ(skipped[0].path, "calendars.json: Work: Sometimes");
  EXPECT_EQ(skipped[0].category, SkippedItem::Category::calendars);
}

}  // namespace
}  // namespace tessellon
