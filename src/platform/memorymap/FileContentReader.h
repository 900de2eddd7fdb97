#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/memorymap/FileContentReaderProtocol.h"

namespace tessellon {

// Local files through POSIX: stat for the size, FileInputStream for streams, PositionalFile for the
// in-memory view (sample windows are too small to repay a mapping). Stateless, so one instance
// serves every thread.
class FileContentReader final : public FileContentReaderProtocol {
 public:
  Result<std::int64_t> fileSize(const std::string& path) override;
  Result<std::unique_ptr<FileContentStream>> openStream(const std::string& path) override;
  Result<std::unique_ptr<MappedContent>> mapFile(const std::string& path) override;
};

}  // namespace tessellon
