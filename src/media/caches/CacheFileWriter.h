#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "futures/SerialQueue.h"
#include "platform/files/FileIOServiceProtocol.h"

namespace tessellon {

// Writes the fingerprint cache files on a thread of its own, so a scan never waits while the file
// system creates one. The newest content of a file wins, and until it is on disk pending() answers
// for it, so every caching service of the process reads what another has just written. One writer
// serves the whole process; it finishes its queue when the last caching service lets go of it.
// A process that dies loses only the cache entries still queued. Every method is thread-safe.
class CacheFileWriter {
 public:
  // The process's writer, made when no caching service holds one.
  static std::shared_ptr<CacheFileWriter> shared();

  CacheFileWriter();
  // Writes what is queued, then returns.
  ~CacheFileWriter();
  CacheFileWriter(const CacheFileWriter&) = delete;
  CacheFileWriter& operator=(const CacheFileWriter&) = delete;

  // Queues `content` for the file at `path`, written through `files`; replaces a queued content of
  // the same file. A failed write is dropped unreported: the next run computes the entry again.
  void write(std::shared_ptr<FileIOServiceProtocol> files, const std::string& path,
             std::string content);
  // The content queued for `path` and not yet written.
  std::optional<std::string> pending(const std::string& path) const;
  // The paths queued and not yet written, at the time of the call.
  std::vector<std::string> pendingPaths() const;
  // Returns once nothing is left to write (each queued write was tried).
  void flush();

 private:
  struct Pending {
    std::shared_ptr<FileIOServiceProtocol> files;
    std::string content;
    std::uint64_t generation = 0;
  };
  void writeQueued(const std::string& path);

  mutable std::mutex mutex_;
  std::condition_variable drained_;
  std::unordered_map<std::string, Pending> pending_;
  std::uint64_t generations_ = 0;
  // Last, so that its destructor runs the queue while the map is still there.
  SerialQueue queue_{"cache file writer"};
};

}  // namespace tessellon
