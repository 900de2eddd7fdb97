#pragma once

#include <memory>

#include "tessellon/LoggerProtocol.h"

#include "media/DuplicateCollection.h"
#include "media/caches/CachingService.h"
#include "media/discovery/MediaRepositoryProtocol.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "platform/locations/LocationProviderProtocol.h"

namespace tessellon {

// Holds the two category repositories and the media access factory for the services above them.
class MediaRepository final : public MediaRepositoryProtocol {
 public:
  // `cachingService`, `fileManager`, `duplicateCollection` and `logger` may be null.
  MediaRepository(std::shared_ptr<VideoRepository> videoRepository,
                  std::shared_ptr<ImageRepository> imageRepository,
                  std::shared_ptr<CachingService> cachingService,
                  std::shared_ptr<FileIOServiceProtocol> fileManager,
                  std::shared_ptr<DuplicateCollection> duplicateCollection,
                  std::shared_ptr<LoggerProtocol> logger,
                  std::shared_ptr<LocationProviderProtocol> locationProvider,
                  std::shared_ptr<AccessRequestFactoryProtocol> accessRequestFactory);

  std::shared_ptr<ImageRepository> imageRepository() const override { return imageRepository_; }
  std::shared_ptr<VideoRepository> videoRepository() const override { return videoRepository_; }
  std::shared_ptr<AccessRequestFactoryProtocol> accessRequestFactory() const override {
    return accessRequestFactory_;
  }
  Future<bool> exists(const MediaItem& item) override;

 private:
  const std::shared_ptr<VideoRepository> videoRepository_;
  const std::shared_ptr<ImageRepository> imageRepository_;
  const std::shared_ptr<CachingService> cachingService_;            // may be null
  const std::shared_ptr<FileIOServiceProtocol> fileIOService_;      // may be null
  const std::shared_ptr<LoggerProtocol> logger_;                    // may be null
  const std::shared_ptr<DuplicateCollection> duplicateCollection_;  // may be null
  const std::shared_ptr<LocationProviderProtocol> locationProvider_;
  const std::shared_ptr<AccessRequestFactoryProtocol> accessRequestFactory_;
};

}  // namespace tessellon
