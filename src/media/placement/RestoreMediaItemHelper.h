#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessellon/LoggerProtocol.h"

#include "futures/Result.h"
#include "media/caches/CachingService.h"
#include "media/placement/SolveNameConflictOnRestoreStrategy.h"
#include "model/MediaItem.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "platform/locations/LocationProviderProtocol.h"

namespace tessellon {

// Writes a restored media file to the local paths recorded for its item, for the media
// repositories. Nothing it does replaces an existing file: an occupied name makes way for a
// numbered one beside it. Every call runs on the caller's thread and streams file content; safe to
// call from several threads. Stateless beyond its collaborators.
class RestoreMediaItemHelper final {
 public:
  static constexpr std::string_view kProtocolName = "RestoreMediaItemHelper";
  // `cachingService` and `logger` may be null: without a cache no file counts as already there.
  RestoreMediaItemHelper(
      std::shared_ptr<CachingService> cachingService,
      std::shared_ptr<FileIOServiceProtocol> fileManager, std::shared_ptr<LoggerProtocol> logger,
      std::shared_ptr<LocationProviderProtocol> locationProvider,
      std::shared_ptr<SolveNameConflictOnRestoreStrategy> solveNameConflictStrategy);
  RestoreMediaItemHelper(const RestoreMediaItemHelper&) = delete;
  RestoreMediaItemHelper& operator=(const RestoreMediaItemHelper&) = delete;

  // Puts `source`, a file with the item's content, at each of the item's recorded paths below
  // `mediaDirectory`. A path inside a photo library is written to
  // "<picture folder>/Restore_<deviceName>/PhotosLibrary/<file name>" instead. A path whose file
  // already holds the item's content is left as it is. With `consumeSource` the last write may
  // move `source` into place instead of copying it. Returns the recorded paths that could not be
  // written (a path that would leave its folder with ".." is one of them).
  std::vector<std::string> restoreMediaItems(const MediaItem& item, const std::string& deviceName,
                                             const std::string& mediaDirectory,
                                             const std::string& source, bool consumeSource);
  // Creates the folder of `target`, copies `source` there (or moves it, with `moveSource`) without
  // replacing anything, gives the file the item's modification date and ordinary permissions, and
  // records the item's fingerprint for it in the fingerprint cache. Fails with the platform error
  // of the folder or the copy; a date that cannot be set is only logged.
  Result<void> restoreCommon(const std::string& target, const std::string& source,
                             const MediaItem& item, bool moveSource);
  // The last resort for an item none of whose paths could be written: a copy named after its first
  // path with the fingerprint in the name, below `baseFolder` (only the file name for a path inside
  // a photo library). Succeeds at once when that file already holds the content.
  Result<void> handleFailedRestore(const MediaItem& item, const std::string& baseFolder,
                                   const std::string& source);
  // "dir/photo.jpg" with "1.1_ab" gives "dir/photo_1.1_ab.jpg"; a path without a file name comes
  // back unchanged.
  std::string insertFingerPrintIntoFileName(const std::string& path,
                                            const std::string& fingerprint) const;
  // Whether `file` is a regular file of the item's size whose size and date the fingerprint cache
  // lists with the item's fingerprint. False without a fingerprint or a cache.
  bool holdsContentOf(const MediaItem& item, const std::string& file);

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

  const std::shared_ptr<CachingService> cachingService_;  // may be null
  const std::shared_ptr<FileIOServiceProtocol> fileManager_;
  const std::shared_ptr<LoggerProtocol> logger_;  // may be null
  const std::shared_ptr<LocationProviderProtocol> locationProvider_;
  const std::shared_ptr<SolveNameConflictOnRestoreStrategy> solveNameConflictStrategy_;
};

}  // namespace tessellon
