#pragma once

#include <memory>
#include <string_view>

#include "tessellon/Directory.h"
#include "tessellon/LoggerProtocol.h"

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "remote/RemoteIOServiceProtocol.h"

namespace tessellon {

// Tidies what older versions left on the remote.
class Migrations final {
 public:
  static constexpr std::string_view kProtocolName = "Migrations";
  Migrations(std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
             std::shared_ptr<LoggerProtocol> logger);

  // Deletes `member` of the backups root when it is a ".zip" archive (one that
  // sits outside every backup folder). Never fails: a failed deletion is logged.
  // Ends cancelled when the token is cancelled meanwhile.
  Future<Void> deleteZipIfExistsOutsideOfBackupFolder(const Member& member,
                                                      std::shared_ptr<CancelToken> cancelToken);

 private:
  std::shared_ptr<RemoteIOServiceProtocol> remoteIOService_;
  std::shared_ptr<LoggerProtocol> logger_;
};

}  // namespace tessellon
