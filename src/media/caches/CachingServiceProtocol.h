#pragma once

#include <string>
#include <string_view>

#include "media/caches/BaseCachingServiceProtocol.h"

namespace tessellon {

// The caching service the container hands out: the run-scoped maps plus the fingerprint cache
// that survives between runs, one small file per identity in "<temporary>/cache".
class CachingServiceProtocol : public virtual BaseCachingServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "CachingServiceProtocol";

  // The cache file of a key: "<temporary>/cache/hash_<key>".
  virtual std::string keyToFilePath(const std::string& key) const = 0;
  // Blocks until the cache files written so far are on disk (or failed to get there).
  virtual void waitForCacheFiles() = 0;
};

}  // namespace tessellon
