#pragma once

#include <memory>

#include "media/MediaPathUtilProtocol.h"
#include "media/discovery/MediaItemRepository.h"
#include "media/discovery/VideoRepositoryProtocol.h"

namespace tessellon {

// The movie folder, and the video files of the photo libraries in the picture folder.
class VideoRepository final : public MediaItemRepository, public VideoRepositoryProtocol {
 public:
  VideoRepository(std::shared_ptr<MediaRepositoryHelperProtocol> mediaRepositoryHelper,
                  std::shared_ptr<LocationProviderProtocol> locationProvider,
                  std::shared_ptr<FileExtensionFilterProtocol> fileExtensionFilter,
                  std::shared_ptr<CachingServiceProtocol> cachingService,
                  std::shared_ptr<MediaPathUtilProtocol> mediaPathUtil);

 private:
  const std::shared_ptr<MediaPathUtilProtocol> mediaPathUtil_;
};

}  // namespace tessellon
