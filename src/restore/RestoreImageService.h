#pragma once

#include <memory>

#include "media/ImageServiceProtocol.h"
#include "restore/RestoreImageServiceProtocol.h"
#include "restore/RestoreMediaItemService.h"

namespace tessellon {

// Restores the images of a backup from its "images" folder (see RestoreMediaItemService).
class RestoreImageService final : public RestoreMediaItemService,
                                  public RestoreImageServiceProtocol {
 public:
  // `logger` may be null.
  RestoreImageService(std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
                      std::shared_ptr<LoggerProtocol> logger,
                      std::shared_ptr<RestoreStatusServiceProtocol> restoreStatusService,
                      std::shared_ptr<FileIOServiceProtocol> fileIOService,
                      std::shared_ptr<ImageServiceProtocol> imageService,
                      std::shared_ptr<RestoreSlots> slots);

  Future<std::optional<RestoreMediaReportSection>> restoreAllImages(
      std::shared_ptr<MediaMetaData> metaData, std::vector<std::string> remoteFolder,
      std::shared_ptr<CancelToken> cancelToken) override;

  // One image: copied from a local file with its content, or downloaded.
  Future<FailedPaths> restoreImage(const std::shared_ptr<MediaItem>& item,
                                   const std::vector<std::string>& remoteFolder,
                                   const std::shared_ptr<CancelToken>& cancelToken);

 private:
  const std::shared_ptr<ImageServiceProtocol> imageService_;
};

}  // namespace tessellon
