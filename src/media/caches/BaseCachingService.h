#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "media/caches/BaseCachingServiceProtocol.h"
#include "media/discovery/MediaRepositoryProtocol.h"
#include "platform/files/FileIOServiceProtocol.h"

namespace tessellon {

// The state of the caches and the loading of local items; the persistent fingerprint cache itself
// is CachingService's. One mutex guards the maps: scans fill them from pool threads while the
// pipeline reads them from others. It is never held while the file system is asked; cache files
// are queued for writing under it, so two writes of one key cannot land out of order.
class BaseCachingService : public virtual BaseCachingServiceProtocol {
 public:
  using MediaRepositoryProvider = std::function<std::shared_ptr<MediaRepositoryProtocol>()>;

  // Creates the cache folder and waits for it. `fileIOService` may be null: fingerprints are then
  // cached in memory only. `mediaRepository` is asked on first use, because the media repository
  // is itself built on this service; by default it is resolved from the container.
  BaseCachingService(const std::string& temporaryDirectory,
                     std::shared_ptr<FileIOServiceProtocol> fileIOService,
                     MediaRepositoryProvider mediaRepository = {});

  std::shared_ptr<MediaItem> getItem(const std::string& fingerprint) const override;
  void setItem(const std::string& fingerprint, std::shared_ptr<MediaItem> item) override;
  void removeItem(const std::string& fingerprint) override;
  void clearMediaItemCache() override;
  void addMediaItemsWhenNeeded(std::vector<std::shared_ptr<MediaItem>> items) override;
  std::map<std::string, std::shared_ptr<MediaItem>> mediaItemCache() const override;
  void addPathToCache(const std::string& fingerprint, const std::string& path) override;
  std::map<std::string, std::vector<std::string>> cachedPaths() const override;
  void fillCache(const MediaItemsWithHashes& itemsWithHashes) override;
  Future<Void> refreshMediaItemCache(const Settings& settings,
                                     std::shared_ptr<CancelToken> cancelToken,
                                     const std::vector<Version>& versions) override;

 protected:
  std::shared_ptr<MediaRepositoryProtocol> mediaRepository();

  // Adds the items waiting to be added; called with the lock held before any use of the map.
  void addWaitingMediaItems() const;

  mutable std::mutex mutex_;
  mutable std::unordered_map<std::string, std::shared_ptr<MediaItem>> mediaItemCache_;
  mutable std::vector<std::shared_ptr<MediaItem>> waitingMediaItems_;
  // cache key -> fingerprints, as in the cache files.
  std::unordered_map<std::string, std::vector<std::string>> hashCache_;
  std::unordered_map<std::string, std::vector<std::string>> cachedPaths_;
  const std::shared_ptr<FileIOServiceProtocol> fileIOService_;  // may be null
  const std::string hashPrefix_ = "hash_";
  const std::string cacheFolder_;

 private:
  MediaRepositoryProvider mediaRepositoryProvider_;
};

}  // namespace tessellon
