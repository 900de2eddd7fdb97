#pragma once

#include <memory>
#include <string_view>

#include "tessellon/SkippedItem.h"

#include "futures/Future.h"
#include "model/ItemsMetaData.h"
#include "platform/calendar/CalendarEntry.h"
#include "platform/calendar/CalendarRepositoryProtocol.h"

namespace tessellon {

// The calendars of this machine as the pipelines see them: reads the calendar store for the backup
// preview and writes backed-up calendars into it.
class CalendarService final {
 public:
  static constexpr std::string_view kProtocolName = "CalendarService";
  explicit CalendarService(std::shared_ptr<CalendarRepositoryProtocol> calendarRepository);
  CalendarService(const CalendarService&) = delete;
  CalendarService& operator=(const CalendarService&) = delete;

  // Every calendar with its events as one list with count and bytes. Fails
  // with the store's error (calendarsAccessDenied, 801, also when there is no
  // store). Completes on the calling thread.
  Future<std::shared_ptr<ItemsMetaData<CalendarEntry>>> getCalendarsMetaData();
  // Writes each calendar of `metaData`, one after another: a calendar of the
  // same title that is already here gets only the events it lacks (compared
  // as the store gives them back), any other is created. Fails with the first
  // error (calendars written before it stay).
  Future<Void> restoreCalendars(const ItemsMetaData<CalendarEntry>& metaData);
  // The calendar files and events the last getCalendarsMetaData() could not
  // read, or the events of the backup the last restoreCalendars() could not
  // write (a series whose rule the store cannot read), named
  // "calendars.json: <calendar title>: <event title>".
  std::vector<SkippedItem> skippedItems() const;

 private:
  // May be null: then there is no store to read.
  const std::shared_ptr<CalendarRepositoryProtocol> calendarRepository_;
  // Shared with the restore's continuation, which adds to it.
  std::shared_ptr<std::vector<SkippedItem>> restoreSkipped_ =
      std::make_shared<std::vector<SkippedItem>>();
  bool lastWasRestore_ = false;
};

}  // namespace tessellon
