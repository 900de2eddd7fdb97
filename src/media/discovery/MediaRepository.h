#pragma once

#include <memory>

#include "media/caches/CachingService.h"
#include "media/discovery/MediaRepositoryProtocol.h"

namespace tessellon {

// Holds the two category repositories and the media access factory for the services above them.
class MediaRepository final : public MediaRepositoryProtocol {
 public:
  // `cachingService` may be null.
  MediaRepository(std::shared_ptr<MediaItemRepository> videoRepository,
                  std::shared_ptr<MediaItemRepository> imageRepository,
                  std::shared_ptr<CachingService> cachingService,
                  std::shared_ptr<AccessRequestFactoryProtocol> accessRequestFactory);
  MediaRepository(const MediaRepository&) = delete;
  MediaRepository& operator=(const MediaRepository&) = delete;

  std::shared_ptr<MediaItemRepository> imageRepository() const override { return imageRepository_; }
  std::shared_ptr<MediaItemRepository> videoRepository() const override { return videoRepository_; }
  std::shared_ptr<AccessRequestFactoryProtocol> accessRequestFactory() const override {
    return accessRequestFactory_;
  }
  Future<bool> exists(const MediaItem& item) override;

 private:
  const std::shared_ptr<MediaItemRepository> videoRepository_;
  const std::shared_ptr<MediaItemRepository> imageRepository_;
  const std::shared_ptr<CachingService> cachingService_;  // may be null
  const std::shared_ptr<AccessRequestFactoryProtocol> accessRequestFactory_;
};

}  // namespace tessellon
