#include "restore/RestoreImageService.h"

#include <utility>

namespace tessellon {

RestoreImageService::RestoreImageService(
    std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
    std::shared_ptr<LoggerProtocol> logger,
    std::shared_ptr<RestoreStatusServiceProtocol> restoreStatusService,
    std::shared_ptr<FileIOServiceProtocol> fileIOService,
    std::shared_ptr<ImageServiceProtocol> imageService, std::shared_ptr<RestoreSlots> slots)
    : RestoreMediaItemService(
          std::move(remoteIOService), std::move(logger), std::move(restoreStatusService),
          std::move(fileIOService),
          Vocabulary{"Image", "images", "restoring Image: ", "download of Image: ",
                     "successfully restored Image: ", "but failed to restore at paths: ",
                     "Restore of Image ", BackupSDKError::mediaNoImageData},
          std::move(slots)),
      imageService_(std::move(imageService)) {}

Future<std::optional<RestoreMediaReportSection>> RestoreImageService::restoreAllImages(
    std::shared_ptr<MediaMetaData> metaData, std::vector<std::string> remoteFolder,
    std::shared_ptr<CancelToken> cancelToken) {
  return restoreAll(
      std::move(metaData), restoreStatusService_->restoreSettings().images,
      [this, remoteFolder = std::move(remoteFolder)](const std::shared_ptr<MediaItem>& item,
                                                     const std::shared_ptr<CancelToken>& token) {
        return restoreImage(item, remoteFolder, token);
      },
      std::move(cancelToken));
}

Future<RestoreMediaItemService::FailedPaths> RestoreImageService::restoreImage(
    const std::shared_ptr<MediaItem>& item, const std::vector<std::string>& remoteFolder,
    const std::shared_ptr<CancelToken>& cancelToken) {
  return restoreItem(item, remoteFolder, cancelToken, imageService_);
}

}  // namespace tessellon
