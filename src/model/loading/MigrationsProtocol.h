#pragma once

#include <memory>
#include <string_view>

#include "futures/Future.h"
#include "core/CancelToken.h"
#include "tessellon/Directory.h"

namespace tessellon {

// Tidies what older versions left on the remote.
class MigrationsProtocol {
 public:
  static constexpr std::string_view kProtocolName = "MigrationsProtocol";
  MigrationsProtocol() = default;
  virtual ~MigrationsProtocol() = default;
  MigrationsProtocol(const MigrationsProtocol&) = delete;
  MigrationsProtocol& operator=(const MigrationsProtocol&) = delete;

  // Deletes `member` of the backups root when it is a ".zip" archive (one that
  // sits outside every backup folder). Never fails: a failed deletion is logged.
  // Ends cancelled when the token is cancelled meanwhile.
  virtual Future<Void> deleteZipIfExistsOutsideOfBackupFolder(
      const Member& member, std::shared_ptr<CancelToken> cancelToken) = 0;
};

}  // namespace tessellon
