#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tessellon/MediaItem.h"
#include "tessellon/Settings.h"
#include "tessellon/Version.h"

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "media/MediaItemWithHashes.h"

namespace tessellon {

// The run-scoped media state shared by the repositories, the backup services and restore: the
// items of the backup being processed by fingerprint, and the local paths known per fingerprint.
// Every method may be called from any thread.
class BaseCachingServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "BaseCachingServiceProtocol";
  BaseCachingServiceProtocol() = default;
  virtual ~BaseCachingServiceProtocol() = default;
  BaseCachingServiceProtocol(const BaseCachingServiceProtocol&) = delete;
  BaseCachingServiceProtocol& operator=(const BaseCachingServiceProtocol&) = delete;

  // The item of the current backup with this fingerprint, or null.
  virtual std::shared_ptr<MediaItem> getItem(const std::string& fingerprint) const = 0;
  // Enters `item` under `fingerprint`, replacing what was there.
  virtual void setItem(const std::string& fingerprint, std::shared_ptr<MediaItem> item) = 0;
  virtual void removeItem(const std::string& fingerprint) = 0;
  // Empties the item map (a new preview, or the start of the video run).
  virtual void clearMediaItemCache() = 0;
  // Adds each item with a fingerprint under it, in order (a later item replaces an earlier one
  // with the same fingerprint), as one map operation before the next read or change of the map.
  // A backup with nothing new never asks the cache, and a large record then costs no map at all.
  virtual void addMediaItemsWhenNeeded(std::vector<std::shared_ptr<MediaItem>> items) = 0;
  // A snapshot of the item map.
  virtual std::map<std::string, std::shared_ptr<MediaItem>> mediaItemCache() const = 0;

  // Appends `path` to the paths known for `fingerprint`; no de-duplication.
  virtual void addPathToCache(const std::string& fingerprint, const std::string& path) = 0;
  // A snapshot of fingerprint -> local relative paths.
  virtual std::map<std::string, std::vector<std::string>> cachedPaths() const = 0;

  // For each item and each of its paths: caches the item's fingerprints under the path and records
  // the path for the item's fingerprint.
  virtual void fillCache(const MediaItemsWithHashes& itemsWithHashes) = 0;

  // Scans the local images (settings.images) and videos (settings.videos) with fingerprints of the
  // given schemes and fills the cache with them. Fails with the scan's error; cancelled when the
  // token is. Completes on a pool thread.
  virtual Future<Void> refreshMediaItemCache(const Settings& settings,
                                             std::shared_ptr<CancelToken> cancelToken,
                                             const std::vector<Version>& versions) = 0;

  // The persistent fingerprint cache, by identity text (an item's cacheIdentity or a relative
  // path). Reads block the caller while the cache file is read.
  virtual std::vector<std::string> getHashes(const std::string& text) = 0;
  // Adds the fingerprints not cached yet for `text`, keeping order, and rewrites its cache file.
  virtual void addHashes(const std::string& text, const std::vector<std::string>& hashes) = 0;
};

}  // namespace tessellon
