#pragma once

#include <memory>
#include <string_view>

#include "tessellon/Backup.h"
#include "tessellon/ProcessReport.h"

#include "core/CancelToken.h"
#include "futures/Future.h"

namespace tessellon {

// Backs up the images of a run's task list in archives up to the host's size.
class BackupImageMetaDataServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "BackupImageMetaDataServiceProtocol";
  BackupImageMetaDataServiceProtocol() = default;
  virtual ~BackupImageMetaDataServiceProtocol() = default;
  BackupImageMetaDataServiceProtocol(const BackupImageMetaDataServiceProtocol&) = delete;
  BackupImageMetaDataServiceProtocol& operator=(const BackupImageMetaDataServiceProtocol&) = delete;

  // The category's report section, or null when it had nothing to report.
  // Updates `backup`'s metadata as documents and files land remotely.
  virtual Future<std::shared_ptr<ReportSection>> processImageMetaData(
      std::shared_ptr<Backup> backup, std::shared_ptr<CancelToken> cancelToken) = 0;
};

}  // namespace tessellon
