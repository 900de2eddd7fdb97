#pragma once

#include <string_view>

#include "futures/Future.h"
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
  virtual Future<Void> deleteZipIfExistsOutsideOfBackupFolder(const Member& member) = 0;
};

}  // namespace tessellon
