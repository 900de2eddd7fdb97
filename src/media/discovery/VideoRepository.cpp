#include "media/discovery/VideoRepository.h"

#include <utility>

namespace tessellon {

VideoRepository::VideoRepository(std::shared_ptr<MediaRepositoryHelper> mediaRepositoryHelper,
                                 std::shared_ptr<LocationProviderProtocol> locationProvider,
                                 std::shared_ptr<FileExtensionFilter> fileExtensionFilter,
                                 std::shared_ptr<CachingService> cachingService)
    : MediaItemRepository(
          locationProvider->localVideoDirectory(),
          [filter = fileExtensionFilter](const PathData& path) { return filter->isVideo(path); },
          SkippedItem::Category::videos, BackupSDKError::mediaFailedToAddVideo, "videos",
          std::move(mediaRepositoryHelper), locationProvider, fileExtensionFilter,
          std::move(cachingService)) {}

}  // namespace tessellon
