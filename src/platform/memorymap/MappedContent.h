#pragma once

#include <cstdint>

#include "futures/Result.h"

namespace tessellon {

// A file's content as FileContentReaderProtocol hands it out, mapped read-only or kept open. Only
// the ranges that are copied out get read from storage. Safe to share between threads.
class MappedContent {
 public:
  MappedContent() = default;
  virtual ~MappedContent() = default;
  MappedContent(const MappedContent&) = delete;
  MappedContent& operator=(const MappedContent&) = delete;

  // The file's size when it was mapped.
  virtual std::int64_t size() const = 0;
  // Copies `length` bytes from `offset` into `destination`. Fails, instead of faulting, when the
  // range lies outside size() or the file was truncated under the mapping (errno EIO).
  virtual Result<void> copy(std::int64_t offset, std::int64_t length,
                            unsigned char* destination) const = 0;
};

}  // namespace tessellon
