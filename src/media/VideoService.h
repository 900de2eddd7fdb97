#pragma once

#include <memory>

#include "media/MediaService.h"
#include "media/VideoServiceProtocol.h"

namespace tessellon {

// Forwards to the video repository.
class VideoService final : public MediaService, public VideoServiceProtocol {
 public:
  explicit VideoService(std::shared_ptr<MediaRepositoryProtocol> mediaRepository);

  std::shared_ptr<MediaItemRepositoryProtocol> itemRepository() const override;
};

}  // namespace tessellon
