#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "futures/Result.h"
#include "platform/memorymap/MappedContent.h"

namespace tessellon {

// A regular file kept open and read with pread at the ranges asked for: what FileContentReader
// hands out as the in-memory view of a file. Fingerprints copy out only a few small windows, and
// for those a read costs less than setting up a mapping, faulting its pages in and tearing it
// down (which interrupts every other core running the process). A file truncated meanwhile makes
// copy() fail with EIO, as a mapping would.
class PositionalFile final : public MappedContent {
 public:
  // Opens `path`; fails with the platform error, or EINVAL for anything but a regular file.
  static Result<std::unique_ptr<MappedContent>> open(const std::string& path);
  ~PositionalFile() override;

  std::int64_t size() const override { return size_; }
  Result<void> copy(std::int64_t offset, std::int64_t length,
                    unsigned char* destination) const override;

 private:
  PositionalFile(int descriptor, std::int64_t size, std::string path);

  const int descriptor_;
  const std::int64_t size_;
  const std::string path_;  // for error messages
};

}  // namespace tessellon
