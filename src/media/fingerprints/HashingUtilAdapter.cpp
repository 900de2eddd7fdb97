#include "media/fingerprints/HashingUtilAdapter.h"

#include <utility>

#include "media/fingerprints/HashUtils.h"

namespace tessellon {

HashingUtilAdapter::HashingUtilAdapter(std::shared_ptr<FileContentReaderProtocol> reader)
    : reader_(std::move(reader)) {}

Result<std::string> HashingUtilAdapter::getFileHash(const std::string& path,
                                                    const Version& version) {
  return HashUtils::getFileHash(*reader_, path, version);
}

Result<std::string> HashingUtilAdapter::getHashUsingStream(const std::string& path,
                                                           const Version& version) {
  return HashUtils::getHashUsingStream(*reader_, path, version);
}

}  // namespace tessellon
