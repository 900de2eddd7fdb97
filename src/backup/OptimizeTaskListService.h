#pragma once

#include <memory>
#include <string_view>

#include "backup/OptimizeMediaDataService.h"
#include "backup/PreviewProgress.h"
#include "core/CancelToken.h"
#include "core/NotificationService.h"
#include "futures/Future.h"
#include "media/ImageServiceProtocol.h"
#include "media/VideoServiceProtocol.h"
#include "model/BackupRecord.h"

namespace tessellon {

// The content step of a preview: drops from its task list the media whose content the backup
// already stores. Images and videos of the task list are fingerprinted and matched against the
// backup's items, with progress to the host. One preview at a time.
class OptimizeTaskListService final {
 public:
  static constexpr std::string_view kProtocolName = "OptimizeTaskListService";
  OptimizeTaskListService(std::shared_ptr<NotificationService> notificationService,
                          std::shared_ptr<VideoServiceProtocol> videoService,
                          std::shared_ptr<ImageServiceProtocol> imageService);
  OptimizeTaskListService(const OptimizeTaskListService&) = delete;
  OptimizeTaskListService& operator=(const OptimizeTaskListService&) = delete;

  // Fingerprints the task images, then the task videos, against the items of
  // `remoteBackup` (the preview's result record), reporting the preview's
  // percentage once per hashed item (once, 100, when nothing is hashed).
  // Refreshes `remoteBackup`'s media versions. Both records change in place.
  // Fails with the first fingerprint failure (the videos are then not
  // touched); cancelled with the token.
  Future<Void> optimizeTaskList(const std::shared_ptr<BackupRecord>& taskList,
                                const std::shared_ptr<BackupRecord>& remoteBackup,
                                const std::shared_ptr<CancelToken>& cancelToken);

 private:
  void reportProgress() const;
  // Hashes through `service` after counting one step of progress.
  OptimizeMediaDataService::HashFunction hashFuncEscape(
      std::shared_ptr<MediaServiceProtocol> service) const;

  // The counter of the preview in progress; replaced by every optimizeTaskList.
  std::shared_ptr<PreviewProgress> previewProgress_;
  const std::shared_ptr<NotificationService> notificationService_;
  const std::shared_ptr<VideoServiceProtocol> videoService_;
  const std::shared_ptr<ImageServiceProtocol> imageService_;
  const std::shared_ptr<OptimizeMediaDataService> optimizeMediaDataService_;
};

}  // namespace tessellon
