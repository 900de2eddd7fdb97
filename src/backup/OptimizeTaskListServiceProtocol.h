#pragma once

#include <memory>
#include <string_view>

#include "tessellon/Backup.h"

#include "futures/Future.h"
#include "core/CancelToken.h"

namespace tessellon {

// Drops from a preview's task list the media whose content the backup already stores.
class OptimizeTaskListServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "OptimizeTaskListServiceProtocol";
  OptimizeTaskListServiceProtocol() = default;
  virtual ~OptimizeTaskListServiceProtocol() = default;
  OptimizeTaskListServiceProtocol(const OptimizeTaskListServiceProtocol&) = delete;
  OptimizeTaskListServiceProtocol& operator=(const OptimizeTaskListServiceProtocol&) = delete;

  // Fingerprints the task images, then the task videos, against the items of
  // `remoteBackup` (the preview's result record), reporting the preview's
  // percentage once per hashed item (once, 100, when nothing is hashed).
  // Refreshes `remoteBackup`'s media versions. Both records change in place.
  // Fails with the first fingerprint failure (the videos are then not
  // touched); cancelled with the token.
  virtual Future<Void> optimizeTaskList(std::shared_ptr<Backup> taskList,
                                        std::shared_ptr<Backup> remoteBackup,
                                        std::shared_ptr<CancelToken> cancelToken) = 0;
};

}  // namespace tessellon
