#pragma once

#include <string>
#include <string_view>

#include "tessellon/Version.h"

#include "futures/Result.h"

namespace tessellon {

// File fingerprints for the media scans and the duplicate collection, over the platform's file
// reader so tests can inject faults. Fingerprints of texts need no files: HashUtils::getHash.
// Calls block the calling thread while they read (at most three chunks per file); safe to call
// from several threads.
class HashingUtilAdapterProtocol {
 public:
  static constexpr std::string_view kProtocolName = "HashingUtilAdapterProtocol";
  HashingUtilAdapterProtocol() = default;
  virtual ~HashingUtilAdapterProtocol() = default;
  HashingUtilAdapterProtocol(const HashingUtilAdapterProtocol&) = delete;
  HashingUtilAdapterProtocol& operator=(const HashingUtilAdapterProtocol&) = delete;

  // The fingerprint of the file at `path` under scheme `version`, read through a mapping and, if
  // that fails, as a stream. fileIOFailedToReadFile when neither can read it.
  virtual Result<std::string> getFileHash(const std::string& path, const Version& version) = 0;
  // The same, read as a stream only. fileIOFailedToReadFile when the file cannot be read or
  // shrinks while being read.
  virtual Result<std::string> getHashUsingStream(const std::string& path,
                                                 const Version& version) = 0;
};

}  // namespace tessellon
