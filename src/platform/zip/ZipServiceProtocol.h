#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "tessellon/Date.h"

#include "futures/Result.h"

namespace tessellon {

// One archive being written; opaque to everyone but the archive service.
class Zip;

// Writes the ZIP archives the backup pipeline uploads. Media entries are
// stored, ".json" entries deflated; ZIP64 records appear wherever an entry or
// the archive needs them. Calls are synchronous and run on the caller's thread;
// one archive takes calls from one thread at a time.
class ZipServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "ZipServiceProtocol";
  ZipServiceProtocol() = default;
  virtual ~ZipServiceProtocol() = default;
  ZipServiceProtocol(const ZipServiceProtocol&) = delete;
  ZipServiceProtocol& operator=(const ZipServiceProtocol&) = delete;

  // A new, empty, open archive for `path`. Whatever lay at `path` is removed at
  // once, and `path` shows a file again only when the archive is finished. Never
  // null (except from a decorator with nothing to wrap): an archive that cannot
  // be created fails every append.
  virtual std::shared_ptr<Zip> generateZip(const std::string& path) = 0;

  // Adds the file at `srcPath` under the entry name `dstPath` (relative, "/"
  // separated), streaming its content; with `close` the archive is then
  // finished and takes no more entries. Fails with zipAppendFailed (601), or
  // zipFailedNotEnoughDiskSpace (602) when the local disk is full. A source
  // that is missing, unreadable, or shrinks, grows or is written to while it is
  // read fails the call but leaves the archive open for further entries; the
  // finished archive holds no entry of it, so no name on the remote ever takes
  // bytes other than those it promises. A failed write of the archive discards
  // it, and its later appends fail too.
  virtual Result<void> append(const std::shared_ptr<Zip>& zip, const std::string& srcPath,
                              const std::string& dstPath, bool close) = 0;
  // As append without closing, for a media file: answers the checksum of the
  // bytes packed ("xxh3-128:" + 32 lowercase hex digits), computed as they
  // stream into the archive. `expectedBytes` is the size the scan recorded, and
  // `expectedModified`, when given, its modification date; a file of another
  // size or date when opened fails with zipAppendFailed before anything is
  // written, and one whose size changes while packed fails with it too.
  virtual Result<std::string> appendMedia(const std::shared_ptr<Zip>& zip,
                                          const std::string& srcPath, const std::string& dstPath,
                                          int64_t expectedBytes,
                                          std::optional<Date> expectedModified) = 0;
  // As append, with the entry's content given (a document the caller holds) instead of read
  // from a file; the entry is dated now.
  virtual Result<void> appendContent(const std::shared_ptr<Zip>& zip, std::string_view content,
                                     const std::string& dstPath, bool close) = 0;

  // Abandons the archive, finished or not, and removes its file. Dropping the
  // last reference to an unfinished archive does the same.
  virtual void discard(const std::shared_ptr<Zip>& zip) = 0;
};

}  // namespace tessellon
