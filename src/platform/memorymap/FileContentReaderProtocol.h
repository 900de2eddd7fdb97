#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "futures/Result.h"
#include "platform/memorymap/FileContentStream.h"
#include "platform/memorymap/MappedContent.h"

namespace tessellon {

// Reads local files for fingerprinting: the size, a stream from the start, or a mapping of the
// whole file. Failures are platform errors (domain "NSPOSIXErrorDomain", errno code); nothing
// throws. Every call runs on the caller's thread; safe to call from several threads.
class FileContentReaderProtocol {
 public:
  static constexpr std::string_view kProtocolName = "FileContentReaderProtocol";
  FileContentReaderProtocol() = default;
  virtual ~FileContentReaderProtocol() = default;
  FileContentReaderProtocol(const FileContentReaderProtocol&) = delete;
  FileContentReaderProtocol& operator=(const FileContentReaderProtocol&) = delete;

  // The size in bytes of the regular file at `path`; symbolic links are followed. EISDIR for a
  // folder, EINVAL for pipes, devices and sockets.
  virtual Result<std::int64_t> fileSize(const std::string& path) = 0;
  // The file opened for reading from its start.
  virtual Result<std::unique_ptr<FileContentStream>> openStream(const std::string& path) = 0;
  // The whole file, readable at any range without reading the rest: mapped, or kept open where
  // that costs less. Fails for anything but a regular file, so callers can fall back to
  // openStream.
  virtual Result<std::unique_ptr<MappedContent>> mapFile(const std::string& path) = 0;
};

}  // namespace tessellon
