#pragma once

#include <cstddef>
#include <cstdint>

#include "futures/Result.h"

namespace tessellon {

// A file opened for reading from its start, as FileContentReaderProtocol hands it out. Errors are
// platform errors (domain "NSPOSIXErrorDomain", errno code). Not thread-safe.
class FileContentStream {
 public:
  FileContentStream() = default;
  virtual ~FileContentStream() = default;
  FileContentStream(const FileContentStream&) = delete;
  FileContentStream& operator=(const FileContentStream&) = delete;

  // Reads up to `length` bytes into `buffer`; fewer only when the file ends first.
  virtual Result<std::size_t> read(unsigned char* buffer, std::size_t length) = 0;
  // Moves forward by up to `length` bytes without handing them out; fewer only when the file ends
  // first. Returns how far it moved.
  virtual Result<std::int64_t> skip(std::int64_t length) = 0;
};

}  // namespace tessellon
