#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tessellon/Date.h"
#include "tessellon/LoggerProtocol.h"
#include "tessellon/SkippedItem.h"

#include "futures/Result.h"
#include "platform/calendar/StoreCalendar.h"
#include "platform/calendar/StoreEvent.h"

namespace tessellon {

// The machine's calendar store: calendars with their events, repeating events
// expanded into occurrences for a time window, and writes that become visible
// on disk at commit. One instance serves one operation on one thread; a new
// instance sees what earlier ones committed.
class EventStoreProtocol {
 public:
  static constexpr std::string_view kProtocolName = "EventStoreProtocol";
  EventStoreProtocol() = default;
  virtual ~EventStoreProtocol() = default;
  EventStoreProtocol(const EventStoreProtocol&) = delete;
  EventStoreProtocol& operator=(const EventStoreProtocol&) = delete;

  // Succeeds when the store's folder exists and can be read and written; fails
  // with calendarsAccessDenied (801), naming the folder, otherwise.
  virtual Result<void> requestAccess() = 0;

  // Every calendar, in a stable order.
  virtual std::vector<std::shared_ptr<StoreCalendar>> calendars() = 0;
  virtual std::vector<StoreSource> sources() = 0;

  // A calendar to fill in and save; it exists once saved.
  virtual std::shared_ptr<StoreCalendar> newCalendar() = 0;
  // Creates the calendar, or renames an existing one. Fails with
  // calendarsSaveCalendarFailed (802) when it cannot be written.
  virtual Result<void> saveCalendar(const std::shared_ptr<StoreCalendar>& calendar,
                                    bool commit) = 0;

  // An event to fill in (calendar, fields) and save.
  virtual std::shared_ptr<StoreEvent> newEvent() = 0;

  // The occurrences in `calendars` (every calendar when empty) that overlap
  // [start, end) (an empty window: the instant `start`): each occurrence of a
  // repeating series once, under the series' identifier, changed occurrences
  // as detached events. Unreadable files are skipped with a warning.
  virtual std::vector<std::shared_ptr<StoreEvent>> events(
      Date start, Date end, const std::vector<std::shared_ptr<StoreCalendar>>& calendars) = 0;

  // A new event becomes a series of its own. An occurrence of a series saved
  // with `thisEvent` becomes a detached occurrence; with `futureEvents` it
  // changes the series from that occurrence on. Without `commit` the change
  // waits for commit(). Fails with calendarsSaveCalendarFailed (802) for an
  // event without a writable calendar, or with the file system's error.
  virtual Result<void> saveEvent(const std::shared_ptr<StoreEvent>& event, StoreEventSpan span,
                                 bool commit) = 0;

  // Writes every pending change, each file atomically. A file that changed on
  // disk since it was read is left as it is and the commit fails.
  virtual Result<void> commit() = 0;

  // The calendar files and events the reads so far could not take, with why;
  // each was also logged at warning.
  virtual std::vector<SkippedItem> skippedItems() const = 0;
};

// The store over the folder `root` (one sub-folder per calendar, one
// iCalendar file per series). `logger` may be null.
std::shared_ptr<EventStoreProtocol> openEventStore(const std::string& root,
                                                   std::shared_ptr<LoggerProtocol> logger);

}  // namespace tessellon
