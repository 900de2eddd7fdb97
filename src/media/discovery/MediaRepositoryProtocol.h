#pragma once

#include <memory>
#include <string_view>

#include "futures/Future.h"
#include "model/MediaItem.h"
#include "platform/access/AccessRequestFactoryProtocol.h"

namespace tessellon {

// Declared only: the repository's header reaches this one through the caching service.
class MediaItemRepository;

// The media side of the library in one place: both category repositories, the access check's
// factory, and the question whether an item's content is already known locally. Thread-safe.
class MediaRepositoryProtocol {
 public:
  static constexpr std::string_view kProtocolName = "MediaRepositoryProtocol";
  MediaRepositoryProtocol() = default;
  virtual ~MediaRepositoryProtocol() = default;
  MediaRepositoryProtocol(const MediaRepositoryProtocol&) = delete;
  MediaRepositoryProtocol& operator=(const MediaRepositoryProtocol&) = delete;

  virtual std::shared_ptr<MediaItemRepository> imageRepository() const = 0;
  virtual std::shared_ptr<MediaItemRepository> videoRepository() const = 0;
  virtual std::shared_ptr<AccessRequestFactoryProtocol> accessRequestFactory() const = 0;
  // True when the fingerprint cache lists `item.fingerprint` for the item's size and date; false
  // without a caching service or fingerprint. Completes before it returns.
  virtual Future<bool> exists(const MediaItem& item) = 0;
};

}  // namespace tessellon
