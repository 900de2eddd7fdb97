#pragma once

#include <memory>
#include <string_view>

#include "media/discovery/MediaItemRepository.h"

namespace tessellon {

// The videos of this machine (see MediaItemRepositoryProtocol): the movie folder, and the video
// files of the photo libraries in the picture folder.
class VideoRepository final : public MediaItemRepository {
 public:
  static constexpr std::string_view kProtocolName = "VideoRepository";
  VideoRepository(std::shared_ptr<MediaRepositoryHelper> mediaRepositoryHelper,
                  std::shared_ptr<LocationProviderProtocol> locationProvider,
                  std::shared_ptr<FileExtensionFilter> fileExtensionFilter,
                  std::shared_ptr<CachingService> cachingService);
};

}  // namespace tessellon
