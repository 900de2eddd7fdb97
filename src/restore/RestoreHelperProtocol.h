#pragma once

#include <memory>
#include <string_view>

#include "tessellon/ProcessReport.h"
#include "tessellon/Settings.h"

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "model/BackupRecord.h"

namespace tessellon {

// Restores one backup, category by category.
class RestoreHelperProtocol {
 public:
  static constexpr std::string_view kProtocolName = "RestoreHelperProtocol";
  RestoreHelperProtocol() = default;
  virtual ~RestoreHelperProtocol() = default;
  RestoreHelperProtocol(const RestoreHelperProtocol&) = delete;
  RestoreHelperProtocol& operator=(const RestoreHelperProtocol&) = delete;

  // Completes with the report; a failed category is counted and the next one
  // runs. Fails with 701 when the backup cannot be restored on this system.
  // Only cancellation stops it.
  virtual Future<std::shared_ptr<ProcessReport>> restoreBackup(
      std::shared_ptr<BackupRecord> backup, const Settings& settings,
      std::shared_ptr<CancelToken> cancelToken) = 0;
};

}  // namespace tessellon
