#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessellon/Date.h"
#include "tessellon/Error.h"

#include "futures/Result.h"

struct archive;

namespace tessellon {

class ContentChecksum;

// One ZIP archive being written with libarchive. Entries go to a private file
// beside the archive's path, which is renamed to the path when the archive is
// finished, so a file at the path is always a whole archive. Made and driven by
// ZipService only; one thread at a time.
//
// Errors carry "NSPOSIXErrorDomain" with the errno, "LibArchive", or "Zip" for
// misuse (bad entry name, finished archive); ZipService turns them into codes.
class Zip {
 public:
  // Discards the archive unless it was finished.
  ~Zip();
  Zip(const Zip&) = delete;
  Zip& operator=(const Zip&) = delete;

  const std::string& path() const { return path_; }

 private:
  friend class ZipService;

  // Removes what lies at `path` and starts the private file; a failure is kept
  // and reported by every later call.
  static std::shared_ptr<Zip> create(std::string path);
  explicit Zip(std::string path);

  // Streams the file at `sourcePath` into a new entry, handing every byte to
  // `checksum` when there is one. With `expectedBytes` or `expectedModified`, a
  // file of another size or modification date (to the millisecond) fails
  // before anything is written. A file that shrinks, grows, is written to
  // or cannot be read once its header is out fails the call, and the archive
  // stays usable: its entry is left out when the archive is finished, since its
  // name would promise bytes it does not hold and could replace a good file of
  // that name on the remote. Only a failed write of the archive discards it.
  Result<void> addFile(const std::string& sourcePath, const std::string& entryName,
                       std::optional<int64_t> expectedBytes = std::nullopt,
                       ContentChecksum* checksum = nullptr,
                       std::optional<Date> expectedModified = std::nullopt);
  // The same for content in memory; the entry is dated now.
  Result<void> addContent(std::string_view content, const std::string& entryName);
  // Writes the central directory and moves the archive to its path. When an
  // entry was torn, the other entries are first copied into a new file, once.
  Result<void> finish();
  // Stops writing and removes the archive's file, finished or not; later calls
  // fail with `cause`.
  void discard(Error cause);

  void open();
  Result<void> usable() const;
  // Whether an entry named `entryName` may be added now.
  Result<void> canAdd(const std::string& entryName) const;
  Result<void> writeHeader(const std::string& entryName, int64_t size,
                           const struct timespec& modified);
  Result<void> streamEntry(int source, const struct stat& status, const std::string& sourcePath,
                           ContentChecksum* checksum);
  // Writes the central directory and closes the private file.
  Result<void> closeArchive();
  // Replaces the closed private file with a copy that lacks the torn entries.
  Result<void> leaveOutTorn();
  // Zeros up to the header's size, for a source that ended early.
  Result<void> writeZeros(int64_t count);
  // Entry data; a failure discards the archive.
  Result<void> writeData(const char* data, size_t length);
  Result<void> finishEntry();
  Error archiveError(const std::string& context) const;
  static ssize_t writeBlock(struct archive* archive, void* self, const void* buffer, size_t length);

  const std::string path_;
  std::string partialPath_;
  struct archive* archive_ = nullptr;
  int fd_ = -1;
  // Holds the finished file's inode, so its number cannot be reused and
  // discarding this archive never removes a newer one made at the same path.
  int finishedFd_ = -1;
  int writeErrno_ = 0;  // errno of the last failed write, so a full disk stays recognisable
  bool finished_ = false;
  int entries_ = 0;                     // headers written
  std::vector<int> torn_;               // entries whose source changed while they were written
  std::optional<Error> failure_;        // set once the archive can take no more entries
  std::unique_ptr<char[]> readBuffer_;  // one chunk of a source file, made on first use
};

}  // namespace tessellon
