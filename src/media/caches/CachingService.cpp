#include "media/caches/CachingService.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "tessellon/BackupSDKError.h"

#include "core/IoC.h"
#include "core/PathUtils.h"
#include "futures/Executor.h"
#include "media/caches/CacheIdentity.h"
#include "media/discovery/MediaItemRepository.h"

namespace tessellon {
namespace {

constexpr size_t kReleasedOnPool = 4096;

std::vector<std::string> parseCacheFile(const std::string& content) {
  std::vector<std::string> hashes;
  size_t start = 0;
  while (start <= content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    size_t first = start;
    size_t last = end;
    while (first < last && (content[first] == ' ' || content[first] == '\t')) ++first;
    while (last > first && (content[last - 1] == ' ' || content[last - 1] == '\t')) --last;
    if (last > first) hashes.push_back(content.substr(first, last - first));
    start = end + 1;
  }
  return hashes;
}

std::string joinLines(const std::vector<std::string>& hashes) {
  std::string text;
  for (const std::string& hash : hashes) {
    if (!text.empty()) text.push_back('\n');
    text += hash;
  }
  return text;
}

}  // namespace

CachingService::CachingService(const std::string& temporaryDirectory,
                               std::shared_ptr<FileIOServiceProtocol> fileIOService,
                               MediaRepositoryProvider mediaRepository)
    : fileIOService_(std::move(fileIOService)),
      cacheFolder_(PathUtils::combinePath({temporaryDirectory, "cache"})),
      mediaRepositoryProvider_(std::move(mediaRepository)),
      writer_(CacheFileWriter::shared()) {
  if (!mediaRepositoryProvider_) {
    mediaRepositoryProvider_ = [] { return IoC::optional<MediaRepositoryProtocol>(); };
  }
  // A folder that cannot be made only costs the cache: reads find nothing, writes fail quietly.
  if (fileIOService_) (void)fileIOService_->createDirectory(cacheFolder_).waitUntilCompleted();
}

std::shared_ptr<MediaItem> CachingService::getItem(const std::string& fingerprint) const {
  std::lock_guard lock(mutex_);
  addWaitingMediaItems();
  const auto found = mediaItemCache_.find(fingerprint);
  return found == mediaItemCache_.end() ? nullptr : found->second;
}

void CachingService::setItem(const std::string& fingerprint, std::shared_ptr<MediaItem> item) {
  std::lock_guard lock(mutex_);
  addWaitingMediaItems();
  mediaItemCache_[fingerprint] = std::move(item);
}

void CachingService::removeItem(const std::string& fingerprint) {
  std::lock_guard lock(mutex_);
  addWaitingMediaItems();
  mediaItemCache_.erase(fingerprint);
}

void CachingService::clearMediaItemCache() {
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

void CachingService::addMediaItemsWhenNeeded(std::vector<std::shared_ptr<MediaItem>> items) {
  std::lock_guard lock(mutex_);
  addWaitingMediaItems();
  waitingMediaItems_ = std::move(items);
}

void CachingService::addWaitingMediaItems() const {
  if (waitingMediaItems_.empty()) return;
  mediaItemCache_.reserve(mediaItemCache_.size() + waitingMediaItems_.size());
  for (const auto& item : waitingMediaItems_) {
    if (item->fingerprint) mediaItemCache_.insert_or_assign(*item->fingerprint, item);
  }
  waitingMediaItems_.clear();
}

std::map<std::string, std::shared_ptr<MediaItem>> CachingService::mediaItemCache() const {
  std::lock_guard lock(mutex_);
  addWaitingMediaItems();
  return {mediaItemCache_.begin(), mediaItemCache_.end()};
}

void CachingService::addPathToCache(const std::string& fingerprint, const std::string& path) {
  std::lock_guard lock(mutex_);
  cachedPaths_[fingerprint].push_back(path);
}

std::map<std::string, std::vector<std::string>> CachingService::cachedPaths() const {
  std::lock_guard lock(mutex_);
  return {cachedPaths_.begin(), cachedPaths_.end()};
}

void CachingService::fillCache(const MediaItemsWithHashes& itemsWithHashes) {
  for (const MediaItemWithHashes& entry : itemsWithHashes) {
    for (const std::string& path : entry.item->paths()) {
      addHashes(path, entry.hashes);
      if (entry.item->fingerprint) addPathToCache(*entry.item->fingerprint, path);
    }
  }
}

Future<Void> CachingService::refreshMediaItemCache(const Settings& settings,
                                                   const std::shared_ptr<CancelToken>& cancelToken,
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
std::shared_ptr<MediaRepositoryProtocol> CachingService::mediaRepository() {
  return mediaRepositoryProvider_ ? mediaRepositoryProvider_() : nullptr;
}

std::string CachingService::keyToFilePath(const std::string& key) const {
  return PathUtils::combinePath({cacheFolder_, hashPrefix_ + key});
}

std::vector<std::string> CachingService::getHashes(const std::string& text) {
  const std::string key = cacheKey(text);
  {
    std::lock_guard lock(mutex_);
    const auto found = hashCache_.find(key);
    if (found != hashCache_.end()) return found->second;
  }
  std::vector<std::string> hashes = readCacheFile(key);
  std::lock_guard lock(mutex_);
  // Another thread may have read or extended the entry meanwhile; its version is at least as new.
  return hashCache_.emplace(key, std::move(hashes)).first->second;
}

void CachingService::addHashes(const std::string& text, const std::vector<std::string>& hashes) {
  const std::string key = cacheKey(text);
  (void)getHashes(text);
  std::lock_guard lock(mutex_);
  std::vector<std::string>& cached = hashCache_[key];
  for (const std::string& hash : hashes) {
    if (std::find(cached.begin(), cached.end(), hash) == cached.end()) cached.push_back(hash);
  }
  // Queued under the lock, so two additions to one key reach the writer in order. A failed write
  // keeps the memory entry; the next run computes the fingerprint again.
  if (fileIOService_) writer_->write(fileIOService_, keyToFilePath(key), joinLines(cached));
}

void CachingService::waitForCacheFiles() { writer_->flush(); }

std::vector<std::string> CachingService::readCacheFile(const std::string& key) {
  if (!fileIOService_) return {};
  const std::string path = keyToFilePath(key);
  if (std::optional<std::string> queued = writer_->pending(path)) return parseCacheFile(*queued);
  if (!mayHaveCacheFile(key)) return {};
  const FutureResult<std::string> read = fileIOService_->read(path).waitUntilCompleted();
  if (!read.isSuccess()) return {};
  return parseCacheFile(read.successValue());
}

bool CachingService::mayHaveCacheFile(const std::string& key) {
  // One listing instead of a lookup per key: a scan's lookups of missing files would each wait
  // for the folder while the writer creates files in it. A file another process adds later is
  // only a cache miss. Files queued before the listing count as listed: one written between the
  // listing and its lookup is no longer pending, and a caching service made while an earlier
  // one's files are still being written must find them.
  std::call_once(listed_, [this] {
    const std::vector<std::string> queued = writer_->pendingPaths();
    Result<std::vector<std::string>> names = fileIOService_->subpathsOfDirectory(cacheFolder_);
    if (!names.ok()) return;
    listedFiles_.emplace(std::make_move_iterator(names.value().begin()),
                         std::make_move_iterator(names.value().end()));
    const std::string folder = cacheFolder_ + "/";
    for (const std::string& path : queued) {
      if (path.starts_with(folder)) listedFiles_->insert(path.substr(folder.size()));
    }
  });
  return !listedFiles_ || listedFiles_->contains(hashPrefix_ + key);
}

}  // namespace tessellon
