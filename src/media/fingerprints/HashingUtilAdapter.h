#pragma once

#include <memory>
#include <string>

#include "media/fingerprints/HashingUtilAdapterProtocol.h"
#include "platform/memorymap/FileContentReaderProtocol.h"

namespace tessellon {

// HashUtils' file fingerprints bound to one file reader.
class HashingUtilAdapter final : public HashingUtilAdapterProtocol {
 public:
  explicit HashingUtilAdapter(std::shared_ptr<FileContentReaderProtocol> reader);

  Result<std::string> getFileHash(const std::string& path, const Version& version) override;
  Result<std::string> getHashUsingStream(const std::string& path, const Version& version) override;

 private:
  const std::shared_ptr<FileContentReaderProtocol> reader_;
};

}  // namespace tessellon
