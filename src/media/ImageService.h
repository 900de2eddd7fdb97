#pragma once

#include <memory>

#include "media/ImageServiceProtocol.h"
#include "media/MediaService.h"

namespace tessellon {

// Forwards to the image repository.
class ImageService final : public MediaService, public ImageServiceProtocol {
 public:
  explicit ImageService(std::shared_ptr<MediaRepositoryProtocol> mediaRepository);

  std::shared_ptr<MediaItemRepositoryProtocol> itemRepository() const override;
};

}  // namespace tessellon
