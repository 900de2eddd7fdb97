#pragma once

#include <memory>

#include "backup/CalendarServiceProtocol.h"
#include "platform/calendar/CalendarRepositoryProtocol.h"
#include "platform/files/FileIOServiceProtocol.h"

namespace tessellon {

// Reads the calendar store for the backup preview and writes backed-up calendars into it.
class CalendarService final : public CalendarServiceProtocol {
 public:
  CalendarService(std::shared_ptr<CalendarRepositoryProtocol> calendarRepository,
                  std::shared_ptr<FileIOServiceProtocol> fileIOService);
  CalendarService(const CalendarService&) = delete;
  CalendarService& operator=(const CalendarService&) = delete;

  Future<std::shared_ptr<ItemsMetaData<CalendarEntry>>> getCalendarsMetaData() override;
  Future<Void> restoreCalendars(const ItemsMetaData<CalendarEntry>& metaData) override;
  std::vector<SkippedItem> skippedItems() const override;

 private:
  // May be null: then there is no store to read.
  const std::shared_ptr<CalendarRepositoryProtocol> calendarRepository_;
  // May be null.
  const std::shared_ptr<FileIOServiceProtocol> fileIOService_;
  std::vector<SkippedItem> restoreSkipped_;
  bool lastWasRestore_ = false;
};

}  // namespace tessellon
