#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tessellon/MediaItem.h"

#include "futures/Result.h"

namespace tessellon {

// Writes a restored media file to the local paths recorded for its item. Nothing it does replaces
// an existing file: an occupied name makes way for a numbered one beside it. Every call runs on the
// caller's thread and streams file content; safe to call from several threads.
class RestoreMediaItemHelperProtocol {
 public:
  static constexpr std::string_view kProtocolName = "RestoreMediaItemHelperProtocol";
  RestoreMediaItemHelperProtocol() = default;
  virtual ~RestoreMediaItemHelperProtocol() = default;
  RestoreMediaItemHelperProtocol(const RestoreMediaItemHelperProtocol&) = delete;
  RestoreMediaItemHelperProtocol& operator=(const RestoreMediaItemHelperProtocol&) = delete;

  // Puts `source`, a file with the item's content, at each of the item's recorded paths below
  // `mediaDirectory`. A path inside a photo library is written to
  // "<picture folder>/Restore_<deviceName>/PhotosLibrary/<file name>" instead. A path whose file
  // already holds the item's content is left as it is. With `consumeSource` the last write may
  // move `source` into place instead of copying it. Returns the recorded paths that could not be
  // written (a path that would leave its folder with ".." is one of them).
  virtual std::vector<std::string> restoreMediaItems(const MediaItem& item,
                                                     const std::string& deviceName,
                                                     const std::string& mediaDirectory,
                                                     const std::string& source,
                                                     bool consumeSource) = 0;
  // Creates the folder of `target`, copies `source` there (or moves it, with `moveSource`) without
  // replacing anything, gives the file the item's modification date and ordinary permissions, and
  // records the item's fingerprint for it in the fingerprint cache. Fails with the platform error
  // of the folder or the copy; a date that cannot be set is only logged.
  virtual Result<void> restoreCommon(const std::string& target, const std::string& source,
                                     const MediaItem& item, bool moveSource) = 0;
  // The last resort for an item none of whose paths could be written: a copy named after its first
  // path with the fingerprint in the name, below `baseFolder` (only the file name for a path inside
  // a photo library). Succeeds at once when that file already holds the content.
  virtual Result<void> handleFailedRestore(const MediaItem& item, const std::string& baseFolder,
                                           const std::string& source) = 0;
  // "dir/photo.jpg" with "1.1_ab" gives "dir/photo_1.1_ab.jpg"; a path without a file name comes
  // back unchanged.
  virtual std::string insertFingerPrintIntoFileName(const std::string& path,
                                                    const std::string& fingerprint) const = 0;
  // Whether `file` is a regular file of the item's size whose size and date the fingerprint cache
  // lists with the item's fingerprint. False without a fingerprint or a cache.
  virtual bool holdsContentOf(const MediaItem& item, const std::string& file) = 0;
};

}  // namespace tessellon
