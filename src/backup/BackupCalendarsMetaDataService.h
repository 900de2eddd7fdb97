#pragma once

#include "backup/BackupCalendarsMetaDataServiceProtocol.h"
#include "backup/DocumentBackup.h"
#include "tessellon/CalendarEntry.h"

namespace tessellon {

class BackupCalendarsMetaDataService final : public DocumentBackup<CalendarEntry>,
                                             public BackupCalendarsMetaDataServiceProtocol {
 public:
  using DocumentBackup<CalendarEntry>::DocumentBackup;

  Future<std::shared_ptr<ReportSection>> processCalendars(
      std::shared_ptr<Backup> backup, std::shared_ptr<CancelToken> cancelToken) override {
    return processDocument(std::move(backup), std::move(cancelToken),
                           {&Backup::calendarsMetaData, MetaType::calendars, "calendars.json",
                            "Calendars"});
  }
};

}  // namespace tessellon
