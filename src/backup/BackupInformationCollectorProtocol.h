#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "futures/Future.h"
#include "sdk/CancelToken.h"
#include "tessellon/Backup.h"

namespace tessellon {

// Reads what the remote holds: the stored backups of every device.
class BackupInformationCollectorProtocol {
 public:
  static constexpr std::string_view kProtocolName = "BackupInformationCollectorProtocol";
  BackupInformationCollectorProtocol() = default;
  virtual ~BackupInformationCollectorProtocol() = default;
  BackupInformationCollectorProtocol(const BackupInformationCollectorProtocol&) = delete;
  BackupInformationCollectorProtocol& operator=(const BackupInformationCollectorProtocol&) =
      delete;

  // One record per device folder that holds a readable "backup.json"; fails
  // with 102 when the remote root cannot be listed. Cancelled with the token.
  virtual Future<std::vector<std::shared_ptr<Backup>>> getAllBackups(
      std::shared_ptr<CancelToken> cancelToken) = 0;
};

}  // namespace tessellon
