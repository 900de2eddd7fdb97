#include "media/ImageService.h"

#include <utility>

#include "media/discovery/ImageRepository.h"

namespace tessellon {

ImageService::ImageService(std::shared_ptr<MediaRepositoryProtocol> mediaRepository)
    : MediaService(std::move(mediaRepository)) {}

std::shared_ptr<MediaItemRepositoryProtocol> ImageService::itemRepository() const {
  return mediaRepository_->imageRepository();
}

}  // namespace tessellon
