#pragma once

#include <memory>

#include "media/VideoServiceProtocol.h"
#include "restore/RestoreMediaItemService.h"
#include "restore/RestoreVideoServiceProtocol.h"

namespace tessellon {

// Restores the videos of a backup from its "videos" folder (see RestoreMediaItemService).
class RestoreVideoService final : public RestoreMediaItemService,
                                  public RestoreVideoServiceProtocol {
 public:
  // `logger` may be null.
  RestoreVideoService(std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
                      std::shared_ptr<LoggerProtocol> logger,
                      std::shared_ptr<RestoreStatusServiceProtocol> restoreStatusService,
                      std::shared_ptr<FileIOServiceProtocol> fileIOService,
                      std::shared_ptr<VideoServiceProtocol> videoService,
                      std::shared_ptr<RestoreSlots> slots);

  Future<std::optional<RestoreMediaReportSection>> restoreAllVideos(
      std::shared_ptr<MediaMetaData> metaData, std::vector<std::string> remoteFolder,
      std::shared_ptr<CancelToken> cancelToken) override;

  // One video: copied from a local file with its content, or downloaded.
  Future<FailedPaths> restoreVideo(const std::shared_ptr<MediaItem>& item,
                                   const std::vector<std::string>& remoteFolder,
                                   const std::shared_ptr<CancelToken>& cancelToken);

 private:
  const std::shared_ptr<VideoServiceProtocol> videoService_;
};

}  // namespace tessellon
