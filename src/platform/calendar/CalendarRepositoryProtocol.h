#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "tessellon/SkippedItem.h"

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "futures/Result.h"
#include "platform/calendar/CalendarEntry.h"

namespace tessellon {

// The calendars of the machine for backup and restore. Futures complete on
// the calling thread before the call returns: the store is local files.
class CalendarRepositoryProtocol {
 public:
  static constexpr std::string_view kProtocolName = "CalendarRepositoryProtocol";
  CalendarRepositoryProtocol() = default;
  virtual ~CalendarRepositoryProtocol() = default;
  CalendarRepositoryProtocol(const CalendarRepositoryProtocol&) = delete;
  CalendarRepositoryProtocol& operator=(const CalendarRepositoryProtocol&) = delete;

  // Succeeds when the calendar store's folder exists and can be read and
  // written; fails with calendarsAccessDenied (801), naming the folder. Never
  // creates it. Cancelled when `cancelToken` already is.
  virtual Future<Void> checkAccess(std::shared_ptr<CancelToken> cancelToken) = 0;

  // Creates the store's folder when it is missing; only a restore calls it.
  // Fails with calendarsAccessDenied (801).
  virtual Result<void> createStore() = 0;

  // One entry per writable local calendar with its events from a year before
  // to a year after today's midnight: each repeating series once (its first
  // occurrence in that window, with its rule) and each changed occurrence.
  // Fails with calendarsAccessDenied (801).
  virtual Future<std::vector<std::shared_ptr<CalendarEntry>>> getCalendarEntries() = 0;

  // The calendar files and events the last read could not take, with why.
  virtual std::vector<SkippedItem> skippedItems() const = 0;

  // The event `event` gives once written into the store and read back (its
  // rule in the store's own spelling, its zone as the store names it): the
  // form in which restore compares events.
  virtual CalendarEvent storedForm(const CalendarEvent& event) const = 0;

  // The text by which `event`'s kept text is the same event as another's (what every copy
  // changes, such as DTSTAMP and UID, left out); nothing without a kept text.
  virtual std::optional<std::string> sourceKey(const CalendarEvent& event) const = 0;

  // True when the store can read `rule` (an RRULE value); a series whose rule
  // it cannot read is not written.
  virtual bool readsRule(const std::string& rule) const = 0;

  // Creates a calendar titled like `entry` and writes its events; when a
  // calendar with the entry's identifier and title exists, the events go into
  // it instead. Fails with
  // calendarsAccessDenied (801), calendarsSaveCalendarFailed (802), or the
  // store's error while writing events.
  virtual Future<Void> createCalendarEntry(const std::shared_ptr<CalendarEntry>& entry) = 0;
};

}  // namespace tessellon
