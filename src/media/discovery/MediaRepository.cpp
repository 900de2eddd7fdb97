#include "media/discovery/MediaRepository.h"

#include <algorithm>
#include <utility>

#include "media/caches/CacheIdentity.h"

namespace tessellon {

MediaRepository::MediaRepository(std::shared_ptr<MediaItemRepository> videoRepository,
                                 std::shared_ptr<MediaItemRepository> imageRepository,
                                 std::shared_ptr<CachingService> cachingService,
                                 std::shared_ptr<AccessRequestFactoryProtocol> accessRequestFactory)
    : videoRepository_(std::move(videoRepository)),
      imageRepository_(std::move(imageRepository)),
      cachingService_(std::move(cachingService)),
      accessRequestFactory_(std::move(accessRequestFactory)) {}

Future<bool> MediaRepository::exists(const MediaItem& item) {
  if (!cachingService_ || !item.fingerprint) return Future<bool>::success(false);
  const std::vector<std::string> cached = cachingService_->getHashes(cacheIdentity(item));
  return Future<bool>::success(std::find(cached.begin(), cached.end(), *item.fingerprint) !=
                               cached.end());
}

}  // namespace tessellon
