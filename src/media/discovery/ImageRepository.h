#pragma once

#include <memory>

#include "media/discovery/ImageRepositoryProtocol.h"
#include "media/discovery/MediaItemRepository.h"

namespace tessellon {

// The picture folder, and the image files of its photo libraries.
class ImageRepository final : public MediaItemRepository, public ImageRepositoryProtocol {
 public:
  ImageRepository(std::shared_ptr<MediaRepositoryHelperProtocol> mediaRepositoryHelper,
                  std::shared_ptr<LocationProviderProtocol> locationProvider,
                  std::shared_ptr<FileExtensionFilterProtocol> fileExtensionFilter,
                  std::shared_ptr<CachingServiceProtocol> cachingService);
};

}  // namespace tessellon
