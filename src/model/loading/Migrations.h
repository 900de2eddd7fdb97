#pragma once

#include <memory>

#include "model/loading/MigrationsProtocol.h"
#include "remote/RemoteIOServiceProtocol.h"
#include "tessellon/LoggerProtocol.h"

namespace tessellon {

class Migrations final : public MigrationsProtocol {
 public:
  Migrations(std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
             std::shared_ptr<LoggerProtocol> logger);

  Future<Void> deleteZipIfExistsOutsideOfBackupFolder(
      const Member& member, std::shared_ptr<CancelToken> cancelToken) override;

 private:
  std::shared_ptr<RemoteIOServiceProtocol> remoteIOService_;
  std::shared_ptr<LoggerProtocol> logger_;
};

}  // namespace tessellon
