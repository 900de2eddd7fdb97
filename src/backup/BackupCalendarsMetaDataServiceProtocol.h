#pragma once

#include <memory>
#include <string_view>

#include "futures/Future.h"
#include "core/CancelToken.h"
#include "tessellon/Backup.h"
#include "tessellon/ProcessReport.h"

namespace tessellon {

// Backs up the calendars of a run's task list as one document.
class BackupCalendarsMetaDataServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "BackupCalendarsMetaDataServiceProtocol";
  BackupCalendarsMetaDataServiceProtocol() = default;
  virtual ~BackupCalendarsMetaDataServiceProtocol() = default;
  BackupCalendarsMetaDataServiceProtocol(const BackupCalendarsMetaDataServiceProtocol&) = delete;
  BackupCalendarsMetaDataServiceProtocol& operator=(const BackupCalendarsMetaDataServiceProtocol&) = delete;

  // The category's report section, or null when it had nothing to report.
  // Updates `backup`'s metadata as documents and files land remotely.
  virtual Future<std::shared_ptr<ReportSection>> processCalendars(std::shared_ptr<Backup> backup,
                                                    std::shared_ptr<CancelToken> cancelToken) = 0;
};

}  // namespace tessellon
