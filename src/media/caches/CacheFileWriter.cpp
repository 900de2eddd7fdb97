#include "media/caches/CacheFileWriter.h"

#include <utility>

namespace tessellon {

std::shared_ptr<CacheFileWriter> CacheFileWriter::shared() {
  static std::mutex mutex;
  static std::weak_ptr<CacheFileWriter> current;
  std::lock_guard lock(mutex);
  std::shared_ptr<CacheFileWriter> writer = current.lock();
  if (!writer) {
    writer = std::make_shared<CacheFileWriter>();
    current = writer;
  }
  return writer;
}

CacheFileWriter::CacheFileWriter() = default;

CacheFileWriter::~CacheFileWriter() = default;

void CacheFileWriter::write(std::shared_ptr<FileIOServiceProtocol> files, const std::string& path,
                            std::string content) {
  {
    std::lock_guard lock(mutex_);
    const auto [entry, added] = pending_.try_emplace(path);
    entry->second = {std::move(files), std::move(content), ++generations_};
    // A queued write of this path takes the new content when its turn comes.
    if (!added) return;
  }
  queue_.add([this, path] { writeQueued(path); });
}

std::optional<std::string> CacheFileWriter::pending(const std::string& path) const {
  std::lock_guard lock(mutex_);
  const auto found = pending_.find(path);
  if (found == pending_.end()) return std::nullopt;
  return found->second.content;
}

std::vector<std::string> CacheFileWriter::pendingPaths() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> paths;
  paths.reserve(pending_.size());
  for (const auto& [path, entry] : pending_) paths.push_back(path);
  return paths;
}

void CacheFileWriter::flush() {
  std::unique_lock lock(mutex_);
  drained_.wait(lock, [this] { return pending_.empty(); });
}

void CacheFileWriter::writeQueued(const std::string& path) {
  Pending entry;
  {
    std::lock_guard lock(mutex_);
    entry = pending_.at(path);
  }
  (void)entry.files->write(path, entry.content).waitUntilCompleted();
  bool again = false;
  {
    std::lock_guard lock(mutex_);
    const auto found = pending_.find(path);
    // Newer content arrived while this one was being written: it needs a write of its own.
    again = found->second.generation != entry.generation;
    if (!again) pending_.erase(found);
    if (pending_.empty()) drained_.notify_all();
  }
  if (again) queue_.add([this, path] { writeQueued(path); });
}

}  // namespace tessellon
