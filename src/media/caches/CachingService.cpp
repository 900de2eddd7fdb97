#include "media/caches/CachingService.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <utility>

#include "core/PathUtils.h"
#include "media/caches/CacheIdentity.h"

namespace tessellon {
namespace {

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
    : BaseCachingService(temporaryDirectory, std::move(fileIOService), std::move(mediaRepository)),
      writer_(CacheFileWriter::shared()) {}

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
