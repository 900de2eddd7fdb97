#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "media/caches/BaseCachingService.h"
#include "media/caches/CacheFileWriter.h"

namespace tessellon {

// The caching service the container hands out: the run-scoped maps plus the fingerprint cache that
// survives between runs, one text file per identity, "hash_<key>" in "<temporary>/cache", holding
// the fingerprints one per line. The file service refuses to read a symbolic link and replaces
// files atomically, so a link planted in the folder is never followed. Files are written behind
// the scans by the process's CacheFileWriter.
class CachingService final : public BaseCachingService {
 public:
  static constexpr std::string_view kProtocolName = "CachingService";
  CachingService(const std::string& temporaryDirectory,
                 std::shared_ptr<FileIOServiceProtocol> fileIOService,
                 MediaRepositoryProvider mediaRepository = {});

  // The cache file of a key: "<temporary>/cache/hash_<key>".
  std::string keyToFilePath(const std::string& key) const;
  std::vector<std::string> getHashes(const std::string& text) override;
  void addHashes(const std::string& text, const std::vector<std::string>& hashes) override;
  // Blocks until the cache files written so far are on disk (or failed to get there).
  void waitForCacheFiles();

 private:
  // The fingerprints of the cache file of `key`; empty when missing or unreadable.
  std::vector<std::string> readCacheFile(const std::string& key);
  // Whether the cache folder held a file for `key` when it was first listed (true when it could
  // not be listed).
  bool mayHaveCacheFile(const std::string& key);

  const std::shared_ptr<CacheFileWriter> writer_;
  std::once_flag listed_;
  std::optional<std::unordered_set<std::string>> listedFiles_;  // file names; none if unlisted
};

}  // namespace tessellon
