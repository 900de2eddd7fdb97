#include "restore/RestoreVideoService.h"

#include <utility>

namespace tessellon {

RestoreVideoService::RestoreVideoService(
    std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
    std::shared_ptr<LoggerProtocol> logger,
    std::shared_ptr<RestoreStatusServiceProtocol> restoreStatusService,
    std::shared_ptr<FileIOServiceProtocol> fileIOService,
    std::shared_ptr<VideoServiceProtocol> videoService, std::shared_ptr<RestoreSlots> slots)
    : RestoreMediaItemService(
          std::move(remoteIOService), std::move(logger), std::move(restoreStatusService),
          std::move(fileIOService),
          Vocabulary{"Video", "videos", "restoring Video: ", "download of Video: ",
                     "sucessfully restored Video: ", "but failed to restore at pathes: ",
                     "Restore of Video ", BackupSDKError::mediaNoVideoData},
          std::move(slots)),
      videoService_(std::move(videoService)) {}

Future<std::optional<RestoreMediaReportSection>> RestoreVideoService::restoreAllVideos(
    std::shared_ptr<MediaMetaData> metaData, std::vector<std::string> remoteFolder,
    std::shared_ptr<CancelToken> cancelToken) {
  return restoreAll(
      std::move(metaData), restoreStatusService_->restoreSettings().videos,
      [this, remoteFolder = std::move(remoteFolder)](const std::shared_ptr<MediaItem>& item,
                                                     const std::shared_ptr<CancelToken>& token) {
        return restoreVideo(item, remoteFolder, token);
      },
      std::move(cancelToken));
}

Future<RestoreMediaItemService::FailedPaths> RestoreVideoService::restoreVideo(
    const std::shared_ptr<MediaItem>& item, const std::vector<std::string>& remoteFolder,
    const std::shared_ptr<CancelToken>& cancelToken) {
  return restoreItem(item, remoteFolder, cancelToken, videoService_);
}

}  // namespace tessellon
