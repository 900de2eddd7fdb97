#pragma once

#include <memory>
#include <optional>
#include <string>

#include "tessellon/MediaMetaData.h"

#include "backup/CleanupServiceProtocol.h"
#include "platform/identity/DeviceUIDServiceProtocol.h"
#include "remote/RemoteIOServiceProtocol.h"

namespace tessellon {

class CleanupService final : public CleanupServiceProtocol {
 public:
  CleanupService(std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
                 std::shared_ptr<DeviceUIDServiceProtocol> deviceUidService);

  Future<Void> cleanup(const Backup& backup, std::shared_ptr<CancelToken> cancelToken) override;

 private:
  // Deletes every entry of `folder` that is not the remote file of one of
  // `mediaItems`; everything when there are none. Static: the steps run after
  // the run has completed, when the service may be gone.
  static Future<Void> cleanupFolder(const std::shared_ptr<RemoteIOServiceProtocol>& remote,
                                    const std::string& folder,
                                    std::optional<MediaMetaData::Items> mediaItems,
                                    std::shared_ptr<CancelToken> cancelToken);

  std::shared_ptr<RemoteIOServiceProtocol> remoteIOService_;
  std::shared_ptr<DeviceUIDServiceProtocol> deviceUidService_;
};

}  // namespace tessellon
