#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "model/BackupRecord.h"

namespace tessellon {

// Reads what the remote holds: the stored backups of every device.
class BackupInformationCollectorProtocol {
 public:
  static constexpr std::string_view kProtocolName = "BackupInformationCollectorProtocol";
  BackupInformationCollectorProtocol() = default;
  virtual ~BackupInformationCollectorProtocol() = default;
  BackupInformationCollectorProtocol(const BackupInformationCollectorProtocol&) = delete;
  BackupInformationCollectorProtocol& operator=(const BackupInformationCollectorProtocol&) = delete;

  // One record per device folder that holds a readable "backup.json", in
  // listing order; asks for the deletion of archives lying in the root. Fails
  // with the remote's error when the root cannot be listed. A cancelled
  // listing completes with an empty list.
  virtual Future<std::vector<std::shared_ptr<BackupRecord>>> getAllBackups(
      std::shared_ptr<CancelToken> cancelToken) = 0;
};

}  // namespace tessellon
