#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "tessellon/Settings.h"
#include "tessellon/Version.h"

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "media/MediaItemWithHashes.h"
#include "media/caches/CacheFileWriter.h"
#include "media/discovery/MediaRepositoryProtocol.h"
#include "model/MediaItem.h"
#include "platform/files/FileIOServiceProtocol.h"

namespace tessellon {

// The run-scoped media state shared by the repositories, the backup services and restore (the
// items of the backup being processed by fingerprint, and the local paths known per fingerprint),
// plus the fingerprint cache that survives between runs, one text file per identity,
// "hash_<key>" in "<temporary>/cache", holding the fingerprints one per line. The file service
// refuses to read a symbolic link and replaces files atomically, so a link planted in the folder
// is never followed. Files are written behind the scans by the process's CacheFileWriter.
// Every method may be called from any thread. One mutex guards the maps: scans fill them from
// pool threads while the pipeline reads them from others. It is never held while the file system
// is asked; cache files are queued for writing under it, so two writes of one key cannot land out
// of order.
class CachingService final {
 public:
  static constexpr std::string_view kProtocolName = "CachingService";
  using MediaRepositoryProvider = std::function<std::shared_ptr<MediaRepositoryProtocol>()>;

  // Creates the cache folder and waits for it. `fileIOService` may be null: fingerprints are then
  // cached in memory only. `mediaRepository` is asked on first use, because the media repository
  // is itself built on this service; by default it is resolved from the container.
  CachingService(const std::string& temporaryDirectory,
                 std::shared_ptr<FileIOServiceProtocol> fileIOService,
                 MediaRepositoryProvider mediaRepository = {});
  CachingService(const CachingService&) = delete;
  CachingService& operator=(const CachingService&) = delete;

  // The item of the current backup with this fingerprint, or null.
  std::shared_ptr<MediaItem> getItem(const std::string& fingerprint) const;
  // Enters `item` under `fingerprint`, replacing what was there.
  void setItem(const std::string& fingerprint, std::shared_ptr<MediaItem> item);
  void removeItem(const std::string& fingerprint);
  // Empties the item map (a new preview, or the start of the video run).
  void clearMediaItemCache();
  // Adds each item with a fingerprint under it, in order (a later item replaces an earlier one
  // with the same fingerprint), as one map operation before the next read or change of the map.
  // A backup with nothing new never asks the cache, and a large record then costs no map at all.
  void addMediaItemsWhenNeeded(std::vector<std::shared_ptr<MediaItem>> items);
  // A snapshot of the item map.
  std::map<std::string, std::shared_ptr<MediaItem>> mediaItemCache() const;

  // Appends `path` to the paths known for `fingerprint`; no de-duplication.
  void addPathToCache(const std::string& fingerprint, const std::string& path);
  // A snapshot of fingerprint -> local relative paths.
  std::map<std::string, std::vector<std::string>> cachedPaths() const;

  // For each item and each of its paths: caches the item's fingerprints under the path and records
  // the path for the item's fingerprint.
  void fillCache(const MediaItemsWithHashes& itemsWithHashes);

  // Scans the local images (settings.images) and videos (settings.videos) with fingerprints of the
  // given schemes and fills the cache with them. Fails with the scan's error; cancelled when the
  // token is. Completes on a pool thread.
  Future<Void> refreshMediaItemCache(const Settings& settings,
                                     const std::shared_ptr<CancelToken>& cancelToken,
                                     const std::vector<Version>& versions);

  // The persistent fingerprint cache, by identity text (an item's cacheIdentity or a relative
  // path). Reads block the caller while the cache file is read.
  std::vector<std::string> getHashes(const std::string& text);
  // Adds the fingerprints not cached yet for `text`, keeping order, and rewrites its cache file.
  void addHashes(const std::string& text, const std::vector<std::string>& hashes);

  // The cache file of a key: "<temporary>/cache/hash_<key>".
  std::string keyToFilePath(const std::string& key) const;
  // Blocks until the cache files written so far are on disk (or failed to get there).
  void waitForCacheFiles();

 private:
  std::shared_ptr<MediaRepositoryProtocol> mediaRepository();
  // Adds the items waiting to be added; called with the lock held before any use of the map.
  void addWaitingMediaItems() const;
  // The fingerprints of the cache file of `key`; empty when missing or unreadable.
  std::vector<std::string> readCacheFile(const std::string& key);
  // Whether the cache folder held a file for `key` when it was first listed (true when it could
  // not be listed).
  bool mayHaveCacheFile(const std::string& key);

  mutable std::mutex mutex_;
  mutable std::unordered_map<std::string, std::shared_ptr<MediaItem>> mediaItemCache_;
  mutable std::vector<std::shared_ptr<MediaItem>> waitingMediaItems_;
  // cache key -> fingerprints, as in the cache files.
  std::unordered_map<std::string, std::vector<std::string>> hashCache_;
  std::unordered_map<std::string, std::vector<std::string>> cachedPaths_;
  const std::shared_ptr<FileIOServiceProtocol> fileIOService_;  // may be null
  const std::string hashPrefix_ = "hash_";
  const std::string cacheFolder_;
  MediaRepositoryProvider mediaRepositoryProvider_;
  const std::shared_ptr<CacheFileWriter> writer_;
  std::once_flag listed_;
  std::optional<std::unordered_set<std::string>> listedFiles_;  // file names; none if unlisted
};

}  // namespace tessellon
