#pragma once

#include <memory>
#include <string_view>

#include "futures/Future.h"
#include "core/CancelToken.h"
#include "tessellon/Backup.h"
#include "tessellon/ProcessReport.h"

namespace tessellon {

// Backs up the contacts of a run's task list as one document.
class BackupContactsMetaDataServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "BackupContactsMetaDataServiceProtocol";
  BackupContactsMetaDataServiceProtocol() = default;
  virtual ~BackupContactsMetaDataServiceProtocol() = default;
  BackupContactsMetaDataServiceProtocol(const BackupContactsMetaDataServiceProtocol&) = delete;
  BackupContactsMetaDataServiceProtocol& operator=(const BackupContactsMetaDataServiceProtocol&) = delete;

  // The category's report section, or null when it had nothing to report.
  // Updates `backup`'s metadata as documents and files land remotely.
  virtual Future<std::shared_ptr<ReportSection>> processContacts(std::shared_ptr<Backup> backup,
                                                    std::shared_ptr<CancelToken> cancelToken) = 0;
};

}  // namespace tessellon
