#pragma once

#include <memory>
#include <string_view>

#include "tessellon/CalendarEntry.h"
#include "tessellon/ItemsMetaData.h"

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
  // Creates each calendar of `metaData` that is not already here with the
  // same title and events, one after another; fails with the first error
  // (calendars created before it stay).
  virtual Future<Void> restoreCalendars(const ItemsMetaData<CalendarEntry>& metaData) = 0;
};

}  // namespace tessellon
