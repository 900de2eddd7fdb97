#include "media/discovery/VideoRepository.h"

#include <utility>

namespace tessellon {

VideoRepository::VideoRepository(
    std::shared_ptr<MediaRepositoryHelperProtocol> mediaRepositoryHelper,
    std::shared_ptr<LocationProviderProtocol> locationProvider,
    std::shared_ptr<FileExtensionFilterProtocol> fileExtensionFilter,
    std::shared_ptr<CachingServiceProtocol> cachingService,
    std::shared_ptr<MediaPathUtilProtocol> mediaPathUtil)
    : MediaItemRepository(
          locationProvider->localVideoDirectory(),
          [filter = fileExtensionFilter](const PathData& path) { return filter->isVideo(path); },
          SkippedItem::Category::videos, BackupSDKError::mediaFailedToAddVideo, "videos",
          std::move(mediaRepositoryHelper), locationProvider, fileExtensionFilter,
          std::move(cachingService)),
      mediaPathUtil_(std::move(mediaPathUtil)) {}

}  // namespace tessellon
