#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "futures/Result.h"
#include "platform/memorymap/FileContentStream.h"

namespace tessellon {

// A read-only file descriptor read from its start. Skipping seeks instead of reading where the file
// allows it, so sampling a large file touches only the bytes that are handed out.
class FileInputStream final : public FileContentStream {
 public:
  // Opens `path` for reading; the platform error when it cannot be opened.
  static Result<std::unique_ptr<FileContentStream>> open(const std::string& path);
  ~FileInputStream() override;

  Result<std::size_t> read(unsigned char* buffer, std::size_t length) override;
  Result<std::int64_t> skip(std::int64_t length) override;

 private:
  FileInputStream(int descriptor, std::string path);
  Result<std::int64_t> skipByReading(std::int64_t length);

  const int descriptor_;
  const std::string path_;  // for error messages
};

}  // namespace tessellon
