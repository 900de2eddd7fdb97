#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "tessellon/Version.h"

#include "futures/Result.h"
#include "platform/memorymap/FileContentReaderProtocol.h"

namespace tessellon {

// HashUtils' file fingerprints for the media scans and the duplicate collection, bound to one of
// the platform's file readers so tests can inject faults. Fingerprints of texts need no files:
// HashUtils::getHash. Calls block the calling thread while they read (at most three chunks per
// file); safe to call from several threads.
class HashingUtilAdapter final {
 public:
  static constexpr std::string_view kProtocolName = "HashingUtilAdapter";
  explicit HashingUtilAdapter(std::shared_ptr<FileContentReaderProtocol> reader);

  // The fingerprint of the file at `path` under scheme `version`, read through a mapping and, if
  // that fails, as a stream. fileIOFailedToReadFile when neither can read it.
  Result<std::string> getFileHash(const std::string& path, const Version& version);
  // The same, read as a stream only. fileIOFailedToReadFile when the file cannot be read or
  // shrinks while being read.
  Result<std::string> getHashUsingStream(const std::string& path, const Version& version);

 private:
  const std::shared_ptr<FileContentReaderProtocol> reader_;
};

}  // namespace tessellon
