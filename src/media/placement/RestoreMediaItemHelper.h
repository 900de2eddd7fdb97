#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/LoggerProtocol.h"

#include "media/MediaPathUtilProtocol.h"
#include "media/PathUtilProtocol.h"
#include "media/caches/CachingServiceProtocol.h"
#include "media/placement/RestoreMediaItemHelperProtocol.h"
#include "media/placement/SolveNameConflictOnRestoreStrategyProtocol.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "platform/locations/LocationProviderProtocol.h"

namespace tessellon {

// Places restored media files for the media repositories (see the protocol). Stateless beyond its
// collaborators.
class RestoreMediaItemHelper final : public RestoreMediaItemHelperProtocol {
 public:
  // `cachingService` and `logger` may be null: without a cache no file counts as already there.
  RestoreMediaItemHelper(
      std::shared_ptr<CachingServiceProtocol> cachingService,
      std::shared_ptr<FileIOServiceProtocol> fileManager, std::shared_ptr<LoggerProtocol> logger,
      std::shared_ptr<LocationProviderProtocol> locationProvider,
      std::shared_ptr<MediaPathUtilProtocol> mediaPathUtil,
      std::shared_ptr<PathUtilProtocol> pathUtil,
      std::shared_ptr<SolveNameConflictOnRestoreStrategyProtocol> solveNameConflictStrategy);
  RestoreMediaItemHelper(const RestoreMediaItemHelper&) = delete;
  RestoreMediaItemHelper& operator=(const RestoreMediaItemHelper&) = delete;

  std::vector<std::string> restoreMediaItems(const MediaItem& item, const std::string& deviceName,
                                             const std::string& mediaDirectory,
                                             const std::string& source,
                                             bool consumeSource) override;
  Result<void> restoreCommon(const std::string& target, const std::string& source,
                             const MediaItem& item, bool moveSource) override;
  Result<void> handleFailedRestore(const MediaItem& item, const std::string& baseFolder,
                                   const std::string& source) override;
  std::string insertFingerPrintIntoFileName(const std::string& path,
                                            const std::string& fingerprint) const override;
  bool holdsContentOf(const MediaItem& item, const std::string& file) override;

 private:
  // Where the file of a recorded path goes before any conflict is solved; nothing when the path
  // cannot be restored.
  std::optional<std::string> directTarget(const std::string& recordedPath,
                                          const std::string& deviceName,
                                          const std::string& mediaDirectory) const;
  // Whether the cache lists the fingerprint for the recorded path and the file there holds it.
  bool alreadyRestored(const MediaItem& item, const std::string& recordedPath,
                       const std::string& target);
  // Whether one of the numbered names before `freeName` already holds the item's content.
  bool holdsContentUnderNumberedName(const MediaItem& item, const std::string& target,
                                     const std::string& freeName);
  // The text the fingerprint cache knows a restored file by: its path below a media folder.
  std::string cacheTextOf(const std::string& target) const;

  const std::shared_ptr<CachingServiceProtocol> cachingService_;  // may be null
  const std::shared_ptr<FileIOServiceProtocol> fileManager_;
  const std::shared_ptr<LoggerProtocol> logger_;  // may be null
  const std::shared_ptr<LocationProviderProtocol> locationProvider_;
  const std::shared_ptr<MediaPathUtilProtocol> mediaPathUtil_;
  const std::shared_ptr<PathUtilProtocol> pathUtil_;
  const std::shared_ptr<SolveNameConflictOnRestoreStrategyProtocol> solveNameConflictStrategy_;
};

}  // namespace tessellon
