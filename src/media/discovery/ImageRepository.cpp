#include "media/discovery/ImageRepository.h"

#include <utility>

namespace tessellon {

ImageRepository::ImageRepository(std::shared_ptr<MediaRepositoryHelper> mediaRepositoryHelper,
                                 std::shared_ptr<LocationProviderProtocol> locationProvider,
                                 std::shared_ptr<FileExtensionFilter> fileExtensionFilter,
                                 std::shared_ptr<CachingService> cachingService)
    : MediaItemRepository(
          locationProvider->localImageDirectory(),
          [filter = fileExtensionFilter](const PathData& path) { return filter->isImage(path); },
          SkippedItem::Category::images, BackupSDKError::mediaFailedToAddImage, "images",
          std::move(mediaRepositoryHelper), locationProvider, fileExtensionFilter,
          std::move(cachingService)) {}

}  // namespace tessellon
