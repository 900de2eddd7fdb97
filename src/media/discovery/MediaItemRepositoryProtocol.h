#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tessellon/BackupSDKError.h"
#include "tessellon/MediaItem.h"
#include "tessellon/MediaMetaData.h"
#include "tessellon/Version.h"

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "media/MediaItemWithHashes.h"
#include "media/discovery/MediaScan.h"
#include "media/discovery/PathData.h"

namespace tessellon {

class Zip;

// The local files of one media category: the category's own folder plus the matching files of the
// photo libraries in the picture folder. Safe to call from several threads.
class MediaItemRepositoryProtocol {
 public:
  static constexpr std::string_view kProtocolName = "MediaItemRepositoryProtocol";
  MediaItemRepositoryProtocol() = default;
  virtual ~MediaItemRepositoryProtocol() = default;
  MediaItemRepositoryProtocol(const MediaItemRepositoryProtocol&) = delete;
  MediaItemRepositoryProtocol& operator=(const MediaItemRepositoryProtocol&) = delete;

  // The category's files: every valid file of its folder (whatever the extension), then the photo
  // library files with the category's extensions. Empty once the token is cancelled. What the
  // scan cannot take is only logged.
  virtual std::vector<PathData> generatePaths(const std::shared_ptr<CancelToken>& cancelToken) = 0;
  // The items of a preview, from attributes only, in generatePaths' order, and the files and
  // folders the scan could not take, with why (see MediaRepositoryHelper). A file that
  // the stored `record` of this category (may be null) describes unchanged is its recorded item.
  // Runs on a pool thread; a cancelled scan completes with what it found so far.
  virtual Future<MediaScan> scanOnBackupPreview(std::shared_ptr<CancelToken> cancelToken,
                                                std::shared_ptr<const MediaMetaData> record) = 0;
  // The items of scanOnBackupPreview.
  virtual Future<std::vector<std::shared_ptr<MediaItem>>> getItemsOnBackupPreview(
      std::shared_ptr<CancelToken> cancelToken) = 0;
  // The items with fingerprints of `forVersions`, one per distinct content. Runs on a pool thread.
  virtual Future<MediaItemsWithHashes> getItemsWithHashOnRestore(
      std::shared_ptr<CancelToken> cancelToken, const std::vector<Version>& forVersions) = 0;
  // The fingerprints of the item's file, read without the cache (see getMediaHash).
  virtual Future<std::vector<std::string>> getItemHash(const MediaItem& item,
                                                       std::shared_ptr<CancelToken> cancelToken,
                                                       const std::vector<Version>& forVersions) = 0;
  // The folder an item's relative path lies under: photo-library files are under the picture
  // folder, the others under the category's folder.
  virtual std::string getMediaDirectory(const std::string& path) const = 0;
  // Packs the item's file as "<folderName>/<fingerprint>.<extension>" and sets its checksum (see
  // appendLocalMediaCopy).
  virtual Future<Void> appendItemFileToBackup(const std::shared_ptr<Zip>& zip, MediaItem& item) = 0;
  // Restore: writes the downloaded file at `localPath` to the item's recorded paths (see
  // MediaRepositoryHelper::copyMediaToDestinationByPath; the download may be moved away).
  // Completes with the paths that could not be written; fails with errorOnFail() when the file
  // could not be kept anywhere. Completes before it returns.
  virtual Future<std::vector<std::string>> addItemAtRestore(const MediaItem& item,
                                                            const std::string& localPath) = 0;
  // Restore of an item already on this machine: copies a local file with its content to every
  // recorded path that lacks it. Completes with the paths that could not be written; fails with
  // errorOnFail() when no local file holds the content. Completes before it returns.
  virtual Future<std::vector<std::string>> ensureItemExistsInAllItemPathsOnRestore(
      const MediaItem& item) = 0;
  // "images" or "videos": the category's folder in a backup.
  virtual const std::string& folderName() const = 0;
  // The code a restored file that cannot be placed is reported with.
  virtual BackupSDKError errorOnFail() const = 0;
};

}  // namespace tessellon
