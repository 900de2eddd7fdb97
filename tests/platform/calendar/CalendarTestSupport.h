#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "tessellon/Date.h"

#include "model/ModelTestSupport.h"
#include "platform/calendar/CalendarEvent.h"
#include "platform/calendar/CalendarFilter.h"
#include "platform/calendar/CalendarRepository.h"
#include "support/AwaitResult.h"
#include "support/TempDir.h"

namespace tessellon {

inline int64_t secondsOf(Date date) {
  return std::chrono::floor<std::chrono::seconds>(date).time_since_epoch().count();
}

inline Date fromSeconds(int64_t seconds) { return Date(std::chrono::seconds(seconds)); }

// "yyyyMMddTHHmmss" (or "yyyyMMdd" for a date) of `instant` as a wall clock in `zone`
// shows it; "Z" appended for UTC.
inline std::string wallClock(Date instant, const char* zone, bool dateOnly = false) {
  ScopedTimeZone scoped(zone);
  const time_t seconds = static_cast<time_t>(secondsOf(instant));
  tm fields{};
  localtime_r(&seconds, &fields);
  char text[32];
  if (dateOnly) {
    std::snprintf(text, sizeof text, "%04d%02d%02d", fields.tm_year + 1900, fields.tm_mon + 1,
                  fields.tm_mday);
  } else {
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d", fields.tm_year + 1900,
                  fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec);
  }
  return std::string(text) + (std::string(zone) == "UTC" && !dateOnly ? "Z" : "");
}

// Local midnight `days` from today in the current zone.
inline Date midnightIn(int days) {
  const time_t now = time(nullptr);
  tm fields{};
  localtime_r(&now, &fields);
  fields.tm_mday += days;
  fields.tm_hour = fields.tm_min = fields.tm_sec = 0;
  fields.tm_isdst = -1;
  return fromSeconds(mktime(&fields));
}

// What khal prints for the calendars under dir/<folder> between two days ("2024-05-01"), one
// line per event and day as "{start} {end} {title}" in UTC; nothing when khal is missing.
inline std::optional<std::string> khalList(const TempDir& dir, const std::string& from,
                                           const std::string& to,
                                           const std::string& folder = "calendars") {
  if (system("command -v khal > /dev/null 2>&1") != 0) return std::nullopt;
  dir.write("khal.conf",
            "[calendars]\n[[ours]]\npath = " + dir.file(folder) +
                "/*\ntype = discover\n"
                "[sqlite]\npath = " +
                dir.file(folder + ".khal.db") +
                "\n"
                "[locale]\nlocal_timezone = UTC\ndefault_timezone = UTC\ntimeformat = %H:%M\n"
                "dateformat = %Y-%m-%d\nlongdateformat = %Y-%m-%d\n"
                "datetimeformat = %Y-%m-%d %H:%M\nlongdatetimeformat = %Y-%m-%d %H:%M\n");
  const std::string command = "HOME='" + dir.path() + "' khal -c '" + dir.file("khal.conf") +
                              "' list " + from + " " + to +
                              " --format '{start} {end} {title}' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return std::string("cannot run khal");
  std::string output;
  char buffer[4096];
  for (size_t count; (count = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    output.append(buffer, count);
  const int status = pclose(pipe);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  return output;
}

// Writes an iCalendar file at `path` holding `body` (VEVENT components).
inline void writeIcs(const TempDir& dir, const std::string& path, const std::string& body) {
  dir.write(path, "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n" + body +
                      "END:VCALENDAR\r\n");
}

// The calendars a backup reads from the folder `root`; none (and a failure) when it cannot.
inline std::vector<std::shared_ptr<CalendarEntry>> entriesIn(
    const std::string& root, const std::shared_ptr<LoggerProtocol>& logger) {
  CalendarRepository repository(root, logger, std::make_shared<CalendarFilter>());
  const auto result = awaitResult(repository.getCalendarEntries());
  EXPECT_TRUE(result && result->isSuccess());
  return result && result->isSuccess() ? result->successValue()
                                       : std::vector<std::shared_ptr<CalendarEntry>>{};
}

// The events without the identifiers a store hands out (a changed occurrence keeps its
// occurrence number), in start order.
inline std::vector<CalendarEvent> withoutIds(const CalendarEntry& calendar) {
  std::vector<CalendarEvent> events = calendar.events.value_or(std::vector<CalendarEvent>{});
  for (CalendarEvent& e : events) e.id = e.isDetached() ? "/RID=" + *e.RID() : "";
  std::sort(events.begin(), events.end(), [](const CalendarEvent& a, const CalendarEvent& b) {
    return std::tie(a.start, a.title, a.id) < std::tie(b.start, b.title, b.id);
  });
  return events;
}

inline const CalendarEvent* findTitled(const std::vector<CalendarEvent>& events,
                                       const std::string& title) {
  const auto found = std::find_if(events.begin(), events.end(),
                                  [&](const CalendarEvent& e) { return e.title == title; });
  return found == events.end() ? nullptr : &*found;
}

inline size_t linesWith(const std::string& text, const std::string& needle) {
  std::istringstream lines(text);
  size_t found = 0;
  for (std::string line; std::getline(lines, line);)
    found += line.find(needle) != std::string::npos;
  return found;
}

inline void PrintTo(const CalendarEvent& event, std::ostream* os) {
  const auto text = [](const std::optional<std::string>& value) { return value.value_or("-"); };
  *os << "{" << event.id << " '" << event.title << "' " << event.start << ".." << event.end
      << (event.allDay ? " all-day" : "") << " rule=" << text(event.recurrence)
      << " note=" << text(event.note) << " location=" << text(event.location)
      << " url=" << text(event.url) << " zone=" << text(event.eventTimezone) << "}";
}

}  // namespace tessellon
