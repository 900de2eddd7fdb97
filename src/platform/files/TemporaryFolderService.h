#pragma once

#include <mutex>
#include <string>

#include "platform/files/TemporaryFolderServiceProtocol.h"

namespace tessellon {

// The private temporary folder over POSIX. While used it is held open with a shared flock, one
// per process; files are swept only under an exclusive one, so a second process of the same
// user (a listing beside a backup) never loses its files to this one's clean-up.
//
// Swept: documents ("*.json"), archives ("*.zip") and their partial files, hidden siblings of
// atomic writes, and download folders. Everything else, the "cache" folder first, stays.
class TemporaryFolderService final : public TemporaryFolderServiceProtocol {
 public:
  // `folder`: PlatformRoots::temporary; it need not exist yet.
  explicit TemporaryFolderService(std::string folder);
  ~TemporaryFolderService() override;

  Result<void> acquire() override;
  void release() override;

 private:
  void sweep();

  const std::string folder_;
  std::mutex mutex_;
  int fd_ = -1;    // the folder, open while used
  int users_ = 0;  // operations and listings of this process in flight
};

}  // namespace tessellon
