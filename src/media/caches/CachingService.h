#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "media/caches/BaseCachingService.h"
#include "media/caches/CacheFileWriter.h"
#include "media/caches/CachingServiceProtocol.h"

namespace tessellon {

// The fingerprint cache that survives between runs: one text file per identity, "hash_<key>" in
// "<temporary>/cache", holding the fingerprints one per line. The file service refuses to read a
// symbolic link and replaces files atomically, so a link planted in the folder is never followed.
// Files are written behind the scans by the process's CacheFileWriter.
class CachingService final : public BaseCachingService, public CachingServiceProtocol {
 public:
  CachingService(const std::string& temporaryDirectory,
                 std::shared_ptr<FileIOServiceProtocol> fileIOService,
                 MediaRepositoryProvider mediaRepository = {});

  std::string keyToFilePath(const std::string& key) const override;
  std::vector<std::string> getHashes(const std::string& text) override;
  void addHashes(const std::string& text, const std::vector<std::string>& hashes) override;
  void waitForCacheFiles() override;

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
