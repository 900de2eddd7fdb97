#pragma once

#include <memory>
#include <string>
#include <vector>

#include "media/caches/BaseCachingService.h"
#include "media/caches/CachingServiceProtocol.h"

namespace tessellon {

// The fingerprint cache that survives between runs: one text file per identity, "hash_<key>" in
// "<temporary>/cache", holding the fingerprints one per line. The file service refuses to read a
// symbolic link and replaces files atomically, so a link planted in the folder is never followed.
class CachingService final : public BaseCachingService, public CachingServiceProtocol {
 public:
  CachingService(const std::string& temporaryDirectory,
                 std::shared_ptr<FileIOServiceProtocol> fileIOService,
                 MediaRepositoryProvider mediaRepository = {});

  std::string keyToFilePath(const std::string& key) const override;
  std::vector<std::string> getHashes(const std::string& text) override;
  void addHashes(const std::string& text, const std::vector<std::string>& hashes) override;

 private:
  // The fingerprints of the cache file of `key`; empty when missing or unreadable.
  std::vector<std::string> readCacheFile(const std::string& key);
};

}  // namespace tessellon
