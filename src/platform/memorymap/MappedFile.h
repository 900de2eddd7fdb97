#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "futures/Result.h"
#include "platform/memorymap/MappedContent.h"

namespace tessellon {

// A regular file mapped read-only and privately. A file truncated while mapped makes copy() fail
// with EIO instead of killing the process with SIGBUS: copies run under a handler that turns a bus
// error inside the mapping into that failure and leaves every other SIGBUS to the previous handler.
class MappedFile final : public MappedContent {
 public:
  // Maps `path`; fails with the platform error, or EINVAL for anything but a regular file. An
  // empty file gives a mapping of size 0.
  static Result<std::unique_ptr<MappedContent>> open(const std::string& path);
  ~MappedFile() override;

  std::int64_t size() const override { return size_; }
  Result<void> copy(std::int64_t offset, std::int64_t length,
                    unsigned char* destination) const override;

 private:
  MappedFile(const unsigned char* base, std::int64_t size, std::string path);

  const unsigned char* const base_;  // null when size_ is 0
  const std::int64_t size_;
  const std::string path_;  // for error messages
};

}  // namespace tessellon
