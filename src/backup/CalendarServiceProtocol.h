#pragma once

#include <memory>
#include <string_view>

#include "tessellon/CalendarEntry.h"
#include "tessellon/ItemsMetaData.h"
#include "tessellon/SkippedItem.h"

#include "futures/Future.h"

namespace tessellon {

// The calendars of this machine as the pipelines see them.
class CalendarServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "CalendarServiceProtocol";
  CalendarServiceProtocol() = default;
  virtual ~CalendarServiceProtocol() = default;
  CalendarServiceProtocol(const CalendarServiceProtocol&) = delete;
  CalendarServiceProtocol& operator=(const CalendarServiceProtocol&) = delete;

  // Every calendar with its events as one list with count and bytes. Fails
  // with the store's error (calendarsAccessDenied, 801, also when there is no
  // store). Completes on the calling thread.
  virtual Future<std::shared_ptr<ItemsMetaData<CalendarEntry>>> getCalendarsMetaData() = 0;

  // The calendar files and events the last getCalendarsMetaData() could not
  // read, or the events of the backup the last restoreCalendars() could not
  // write (a series whose rule the store cannot read), named
  // "calendars.json: <calendar title>: <event title>".
  virtual std::vector<SkippedItem> skippedItems() const = 0;
  // Writes each calendar of `metaData`, one after another: a calendar of the
  // same title that is already here gets only the events it lacks (compared
  // as the store gives them back), any other is created. Fails with the first
  // error (calendars written before it stay).
  virtual Future<Void> restoreCalendars(const ItemsMetaData<CalendarEntry>& metaData) = 0;
};

}  // namespace tessellon
