#include "backup/OptimizeTaskListService.h"

#include "model/BackupRunState.h"

namespace tessellon {
namespace {

int itemCount(const std::shared_ptr<MediaMetaData>& metaData) {
  return metaData ? metaData->count : 0;
}

void report(NotificationService& notifications, PreviewProgress& progress) {
  notifications.reportBackupPreviewProgress(progress.getProgress());
}

}  // namespace

OptimizeTaskListService::OptimizeTaskListService(
    std::shared_ptr<NotificationService> notificationService,
    std::shared_ptr<VideoServiceProtocol> videoService,
    std::shared_ptr<ImageServiceProtocol> imageService)
    : notificationService_(std::move(notificationService)),
      videoService_(std::move(videoService)),
      imageService_(std::move(imageService)),
      optimizeMediaDataService_(std::make_shared<OptimizeMediaDataService>()) {}

void OptimizeTaskListService::reportProgress() const {
  report(*notificationService_, *previewProgress_);
}

OptimizeMediaDataService::HashFunction OptimizeTaskListService::hashFuncEscape(
    std::shared_ptr<MediaServiceProtocol> service) const {
  // Captures the counter of this preview, not the service: the chain may outlive a newer preview's
  // replacement of previewProgress_.
  return [service = std::move(service), progress = previewProgress_,
          notifications = notificationService_](const MediaItem& item,
                                                std::shared_ptr<CancelToken> cancelToken,
                                                const std::vector<Version>& versions) {
    report(*notifications, *progress);
    return service->getItemHash(item, std::move(cancelToken), versions);
  };
}

Future<Void> OptimizeTaskListService::optimizeTaskList(
    const std::shared_ptr<BackupRecord>& taskList,
    const std::shared_ptr<BackupRecord>& remoteBackup,
    const std::shared_ptr<CancelToken>& cancelToken) {
  const int remoteItems =
      itemCount(remoteBackup->imagesMetaData) + itemCount(remoteBackup->videosMetaData);
  // Without remote media nothing is hashed, so the step is done at once.
  const int total = remoteItems == 0
                        ? 0
                        : itemCount(taskList->imagesMetaData) + itemCount(taskList->videosMetaData);
  previewProgress_ = std::make_shared<PreviewProgress>(total);
  if (total == 0) reportProgress();

  remoteBackup->mediaVersions = CreateUpdatedMediaVersions(*remoteBackup);
  const std::vector<Version> versions = remoteBackup->mediaVersions.versions;

  return optimizeMediaDataService_
      ->optimizeMediaData(taskList->imagesMetaData, remoteBackup->imagesMetaData, versions,
                          cancelToken, hashFuncEscape(imageService_))
      .onSuccess([=, optimize = optimizeMediaDataService_,
                  videos = hashFuncEscape(videoService_)]() {
        return optimize->optimizeMediaData(taskList->videosMetaData, remoteBackup->videosMetaData,
                                           versions, cancelToken, videos);
      });
}

}  // namespace tessellon
