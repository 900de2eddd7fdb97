#pragma once

#include <memory>

#include "backup/OptimizeMediaDataServiceProtocol.h"
#include "backup/OptimizeTaskListServiceProtocol.h"
#include "backup/PreviewProgressFactoryProtocol.h"
#include "media/ImageServiceProtocol.h"
#include "media/VideoServiceProtocol.h"
#include "sdk/NotificationServiceProtocol.h"

namespace tessellon {

// The content step of a preview: images and videos of the task list are
// fingerprinted and matched against the backup's items, with progress to the
// host. One preview at a time.
class OptimizeTaskListService final : public OptimizeTaskListServiceProtocol {
 public:
  OptimizeTaskListService(
      std::shared_ptr<PreviewProgressFactoryProtocol> previewProgressFactory,
      std::shared_ptr<NotificationServiceProtocol> notificationService,
      std::shared_ptr<VideoServiceProtocol> videoService,
      std::shared_ptr<ImageServiceProtocol> imageService,
      std::shared_ptr<OptimizeMediaDataServiceProtocol> optimizeMetaDataService);
  OptimizeTaskListService(const OptimizeTaskListService&) = delete;
  OptimizeTaskListService& operator=(const OptimizeTaskListService&) = delete;

  Future<Void> optimizeTaskList(std::shared_ptr<Backup> taskList,
                                std::shared_ptr<Backup> remoteBackup,
                                std::shared_ptr<CancelToken> cancelToken) override;

 private:
  void reportProgress() const;
  // Hashes through `service` after counting one step of progress.
  OptimizeMediaDataServiceProtocol::HashFunction hashFuncEscape(
      std::shared_ptr<MediaServiceProtocol> service) const;

  // The counter of the preview in progress; replaced by every optimizeTaskList.
  std::shared_ptr<PreviewProgressProtocol> previewProgress_;
  const std::shared_ptr<PreviewProgressFactoryProtocol> previewProgressFactory_;
  const std::shared_ptr<NotificationServiceProtocol> notificationService_;
  const std::shared_ptr<VideoServiceProtocol> videoService_;
  const std::shared_ptr<ImageServiceProtocol> imageService_;
  const std::shared_ptr<OptimizeMediaDataServiceProtocol> optimizeMediaDataService_;
};

}  // namespace tessellon
