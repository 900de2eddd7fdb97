#include "media/VideoService.h"

#include <utility>

#include "media/discovery/VideoRepository.h"

namespace tessellon {

VideoService::VideoService(std::shared_ptr<MediaRepositoryProtocol> mediaRepository)
    : MediaService(std::move(mediaRepository)) {}

std::shared_ptr<MediaItemRepositoryProtocol> VideoService::itemRepository() const {
  return mediaRepository_->videoRepository();
}

}  // namespace tessellon
