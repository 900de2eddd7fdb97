#pragma once

#include <memory>
#include <string_view>

#include "tessellon/Backup.h"
#include "tessellon/CalendarEntry.h"
#include "tessellon/ProcessReport.h"

#include "backup/DocumentBackup.h"
#include "core/CancelToken.h"
#include "futures/Future.h"

namespace tessellon {

// Backs up the calendars of a run's task list as one document.
class BackupCalendarsMetaDataService final : public DocumentBackup<CalendarEntry> {
 public:
  static constexpr std::string_view kProtocolName = "BackupCalendarsMetaDataService";
  using DocumentBackup<CalendarEntry>::DocumentBackup;

  // The category's report section, or null when it had nothing to report.
  // Updates `backup`'s metadata as documents and files land remotely.
  Future<std::shared_ptr<ReportSection>> processCalendars(
      std::shared_ptr<Backup> backup, std::shared_ptr<CancelToken> cancelToken) {
    return processDocument(
        std::move(backup), std::move(cancelToken),
        {&Backup::calendarsMetaData, MetaType::calendars, "calendars.json", "Calendars"});
  }
};

}  // namespace tessellon
