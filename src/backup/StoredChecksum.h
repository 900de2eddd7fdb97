#pragma once

#include <memory>
#include <string>

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "remote/RemoteIOServiceProtocol.h"

namespace tessellon {

// The full-content checksum of a stored file, as its bytes pass from the host: for a name that
// only the listing vouches for, where a sampled fingerprint says nothing of the bytes between
// its windows.
class StoredChecksum {
 public:
  // `files` lets go of the copies downloaded from a host that cannot stream.
  StoredChecksum(std::shared_ptr<RemoteIOServiceProtocol> remote,
                 std::shared_ptr<FileIOServiceProtocol> files);

  // The checksum of the stored file at `path`, as ContentChecksum gives it. Fails with the
  // host's error, or the local one of reading a downloaded copy.
  Future<std::string> of(const std::string& path, const std::shared_ptr<CancelToken>& token) const;

 private:
  const std::shared_ptr<RemoteIOServiceProtocol> remote_;
  const std::shared_ptr<FileIOServiceProtocol> files_;
};

}  // namespace tessellon
