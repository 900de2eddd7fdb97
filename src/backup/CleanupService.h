#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/Directory.h"

#include "backup/CleanupServiceProtocol.h"
#include "model/MediaMetaData.h"
#include "platform/identity/DeviceUIDServiceProtocol.h"
#include "remote/RemoteIOServiceProtocol.h"

namespace tessellon {

class CleanupService final : public CleanupServiceProtocol {
 public:
  CleanupService(std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
                 std::shared_ptr<DeviceUIDServiceProtocol> deviceUidService);

  Future<Void> cleanup(const BackupRecord& backup,
                       std::shared_ptr<CancelToken> cancelToken) override;

 private:
  // Deletes each of `names` in `folder` that is not the remote file of one of `mediaItems`;
  // every one when there are none. The names are the run's listing of the folder, or a listing
  // made for the clean-up when the run made none.
  static Future<Void> deleteUnkept(const std::shared_ptr<RemoteIOServiceProtocol>& remote,
                                   const std::string& folder,
                                   const std::optional<MediaMetaData::Items>& mediaItems,
                                   const Directory& listing,
                                   const std::shared_ptr<CancelToken>& cancelToken);

  std::shared_ptr<RemoteIOServiceProtocol> remoteIOService_;
  std::shared_ptr<DeviceUIDServiceProtocol> deviceUidService_;
};

}  // namespace tessellon
