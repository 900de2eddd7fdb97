#pragma once

#include <memory>
#include <string_view>

#include "tessellon/Backup.h"
#include "tessellon/ProcessReport.h"

#include "core/CancelToken.h"
#include "futures/Future.h"

namespace tessellon {

// Backs up the videos of a run's task list in archives up to the host's size.
class BackupVideoMetaDataServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "BackupVideoMetaDataServiceProtocol";
  BackupVideoMetaDataServiceProtocol() = default;
  virtual ~BackupVideoMetaDataServiceProtocol() = default;
  BackupVideoMetaDataServiceProtocol(const BackupVideoMetaDataServiceProtocol&) = delete;
  BackupVideoMetaDataServiceProtocol& operator=(const BackupVideoMetaDataServiceProtocol&) = delete;

  // The category's report section, or null when it had nothing to report.
  // Updates `backup`'s metadata as documents and files land remotely.
  virtual Future<std::shared_ptr<ReportSection>> processVideoMetaData(
      std::shared_ptr<Backup> backup, std::shared_ptr<CancelToken> cancelToken) = 0;
};

}  // namespace tessellon
