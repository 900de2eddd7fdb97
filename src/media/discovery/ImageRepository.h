#pragma once

#include <memory>
#include <string_view>

#include "media/discovery/MediaItemRepository.h"

namespace tessellon {

// The images of this machine (see MediaItemRepositoryProtocol): the picture folder, and the image
// files of its photo libraries.
class ImageRepository final : public MediaItemRepository {
 public:
  static constexpr std::string_view kProtocolName = "ImageRepository";
  ImageRepository(std::shared_ptr<MediaRepositoryHelper> mediaRepositoryHelper,
                  std::shared_ptr<LocationProviderProtocol> locationProvider,
                  std::shared_ptr<FileExtensionFilter> fileExtensionFilter,
                  std::shared_ptr<CachingService> cachingService);
};

}  // namespace tessellon
