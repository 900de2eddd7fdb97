#include "media/caches/BaseCachingService.h"

#include <utility>

#include "tessellon/BackupSDKError.h"

#include "core/IoC.h"
#include "core/PathUtils.h"
#include "futures/Executor.h"
#include "media/discovery/ImageRepository.h"
#include "media/discovery/VideoRepository.h"

namespace tessellon {
namespace {

constexpr size_t kReleasedOnPool = 4096;

}  // namespace

BaseCachingService::BaseCachingService(const std::string& temporaryDirectory,
                                       std::shared_ptr<FileIOServiceProtocol> fileIOService,
                                       MediaRepositoryProvider mediaRepository)
    : fileIOService_(std::move(fileIOService)),
      cacheFolder_(PathUtils::combinePath({temporaryDirectory, "cache"})),
      mediaRepositoryProvider_(std::move(mediaRepository)) {
  if (!mediaRepositoryProvider_) {
    mediaRepositoryProvider_ = [] { return IoC::optional<MediaRepositoryProtocol>(); };
  }
  // A folder that cannot be made only costs the cache: reads find nothing, writes fail quietly.
  if (fileIOService_) (void)fileIOService_->createDirectory(cacheFolder_).waitUntilCompleted();
}

std::shared_ptr<MediaItem> BaseCachingService::getItem(const std::string& fingerprint) const {
  std::lock_guard lock(mutex_);
  addWaitingMediaItems();
  const auto found = mediaItemCache_.find(fingerprint);
  return found == mediaItemCache_.end() ? nullptr : found->second;
}

void BaseCachingService::setItem(const std::string& fingerprint, std::shared_ptr<MediaItem> item) {
  std::lock_guard lock(mutex_);
  addWaitingMediaItems();
  mediaItemCache_[fingerprint] = std::move(item);
}

void BaseCachingService::removeItem(const std::string& fingerprint) {
  std::lock_guard lock(mutex_);
  addWaitingMediaItems();
  mediaItemCache_.erase(fingerprint);
}

void BaseCachingService::clearMediaItemCache() {
  auto released = std::make_shared<std::unordered_map<std::string, std::shared_ptr<MediaItem>>>();
  {
    std::lock_guard lock(mutex_);
    released->swap(mediaItemCache_);
    waitingMediaItems_.clear();
  }
  // Freeing a large library's entries takes tens of milliseconds that nobody waits for, so a
  // pool thread does it; the entries are unreachable from here on.
  if (released->size() >= kReleasedOnPool) {
    Executor::background().execute(
        [released = std::move(released)]() mutable { released.reset(); });
  }
}

void BaseCachingService::addMediaItemsWhenNeeded(std::vector<std::shared_ptr<MediaItem>> items) {
  std::lock_guard lock(mutex_);
  addWaitingMediaItems();
  waitingMediaItems_ = std::move(items);
}

void BaseCachingService::addWaitingMediaItems() const {
  if (waitingMediaItems_.empty()) return;
  mediaItemCache_.reserve(mediaItemCache_.size() + waitingMediaItems_.size());
  for (const auto& item : waitingMediaItems_) {
    if (item->fingerprint) mediaItemCache_.insert_or_assign(*item->fingerprint, item);
  }
  waitingMediaItems_.clear();
}

std::map<std::string, std::shared_ptr<MediaItem>> BaseCachingService::mediaItemCache() const {
  std::lock_guard lock(mutex_);
  addWaitingMediaItems();
  return {mediaItemCache_.begin(), mediaItemCache_.end()};
}

void BaseCachingService::addPathToCache(const std::string& fingerprint, const std::string& path) {
  std::lock_guard lock(mutex_);
  cachedPaths_[fingerprint].push_back(path);
}

std::map<std::string, std::vector<std::string>> BaseCachingService::cachedPaths() const {
  std::lock_guard lock(mutex_);
  return {cachedPaths_.begin(), cachedPaths_.end()};
}

void BaseCachingService::fillCache(const MediaItemsWithHashes& itemsWithHashes) {
  for (const MediaItemWithHashes& entry : itemsWithHashes) {
    for (const std::string& path : entry.item->paths()) {
      addHashes(path, entry.hashes);
      if (entry.item->fingerprint) addPathToCache(*entry.item->fingerprint, path);
    }
  }
}

Future<Void> BaseCachingService::refreshMediaItemCache(const Settings& settings,
                                                       std::shared_ptr<CancelToken> cancelToken,
                                                       const std::vector<Version>& versions) {
  const std::shared_ptr<MediaRepositoryProtocol> repository = mediaRepository();
  if (!repository) {
    return Future<Void>::fail(
        makeError(BackupSDKError::unknownError, "no media repository to refresh the cache from"));
  }
  Future<MediaItemsWithHashes> images =
      settings.images
          ? repository->imageRepository()->getItemsWithHashOnRestore(cancelToken, versions)
          : Future<MediaItemsWithHashes>::success({});
  const bool withVideos = settings.videos;
  // The service lives in the container for the life of the process, so `this` outlives the chain.
  return images
      .onSuccess([repository, withVideos, cancelToken, versions](
                     const MediaItemsWithHashes& imageItems) -> Future<MediaItemsWithHashes> {
        if (!withVideos) return Future<MediaItemsWithHashes>::success(imageItems);
        return repository->videoRepository()
            ->getItemsWithHashOnRestore(cancelToken, versions)
            .onSuccess([imageItems](const MediaItemsWithHashes& videoItems) {
              MediaItemsWithHashes all = imageItems;
              all.insert(all.end(), videoItems.begin(), videoItems.end());
              return all;
            });
      })
      .onSuccess([this](const MediaItemsWithHashes& all) { fillCache(all); });
}

// Asked on every refresh and not kept: the repository holds this cache, so
// keeping it would make a cycle that outlives every owner.
std::shared_ptr<MediaRepositoryProtocol> BaseCachingService::mediaRepository() {
  return mediaRepositoryProvider_ ? mediaRepositoryProvider_() : nullptr;
}

}  // namespace tessellon
