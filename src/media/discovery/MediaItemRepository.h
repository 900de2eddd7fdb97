#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/BackupSDKError.h"
#include "tessellon/Version.h"

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "media/MediaItemWithHashes.h"
#include "media/discovery/FileExtensionFilter.h"
#include "media/discovery/MediaRepositoryHelper.h"
#include "media/discovery/MediaScan.h"
#include "media/discovery/PathData.h"
#include "model/MediaItem.h"
#include "model/MediaMetaData.h"
#include "platform/locations/LocationProviderProtocol.h"

namespace tessellon {

class Zip;

// The local files of one media category, images or videos: the category's own folder (the picture
// or the movie folder) plus the files with the category's extensions in the photo libraries of the
// picture folder. Safe to call from several threads.
// Scans run as one work item on the shared pool; the repository lives in the container for the
// life of the process, so the work items may use it.
class MediaItemRepository final {
 public:
  // `category` is SkippedItem::Category::images or ::videos.
  MediaItemRepository(SkippedItem::Category category,
                      std::shared_ptr<MediaRepositoryHelper> mediaRepositoryHelper,
                      std::shared_ptr<LocationProviderProtocol> locationProvider,
                      std::shared_ptr<FileExtensionFilter> fileExtensionFilter);
  MediaItemRepository(const MediaItemRepository&) = delete;
  MediaItemRepository& operator=(const MediaItemRepository&) = delete;

  // The category's files: every valid file of its folder (whatever the extension), then the photo
  // library files with the category's extensions. Empty once the token is cancelled. What the
  // scan cannot take is only logged.
  std::vector<PathData> generatePaths(const std::shared_ptr<CancelToken>& cancelToken);
  // The items of a preview, from attributes only, in generatePaths' order, and the files and
  // folders the scan could not take, with why (see MediaRepositoryHelper). A file that
  // the stored `record` of this category (may be null) describes unchanged is its recorded item.
  // Runs on a pool thread; a cancelled scan completes with what it found so far.
  Future<MediaScan> scanOnBackupPreview(const std::shared_ptr<CancelToken>& cancelToken,
                                        std::shared_ptr<const MediaMetaData> record);
  // The items of scanOnBackupPreview.
  Future<std::vector<std::shared_ptr<MediaItem>>> getItemsOnBackupPreview(
      const std::shared_ptr<CancelToken>& cancelToken);
  // The items with fingerprints of `forVersions`, one per distinct content. Runs on a pool thread.
  Future<MediaItemsWithHashes> getItemsWithHashOnRestore(
      const std::shared_ptr<CancelToken>& cancelToken, const std::vector<Version>& forVersions);
  // The fingerprints of the item's file, read without the cache (see getMediaHash).
  Future<std::vector<std::string>> getItemHash(const MediaItem& item,
                                               const std::shared_ptr<CancelToken>& cancelToken,
                                               const std::vector<Version>& forVersions);
  // The full-content checksum of the item's file (see getMediaChecksum).
  Future<std::string> getItemChecksum(const MediaItem& item,
                                      const std::shared_ptr<CancelToken>& cancelToken);
  // The folder an item's relative path lies under: photo-library files are under the picture
  // folder, the others under the category's folder.
  std::string getMediaDirectory(const std::string& path) const;
  // Every folder getMediaDirectory answers: where a restore of the category writes.
  std::vector<std::string> mediaDirectories() const;
  // Packs the item's file as "<folderName>/<fingerprint>.<extension>" and sets its checksum (see
  // appendLocalMediaCopy). With `asScanned` the item is as this run's scan found it, and a file
  // modified since then fails: its fingerprint, read after the scan, may no longer hold for it.
  Future<Void> appendItemFileToBackup(const std::shared_ptr<Zip>& zip, MediaItem& item,
                                      bool asScanned);
  // Restore: writes the downloaded file at `localPath` to the item's recorded paths (see
  // MediaRepositoryHelper::copyMediaToDestinationByPath; the download may be moved away).
  // Completes with the paths that could not be written; fails with errorOnFail() when the file
  // could not be kept anywhere. Completes before it returns.
  Future<std::vector<std::string>> addItemAtRestore(const MediaItem& item,
                                                    const std::string& localPath);
  // Restore of an item already on this machine: copies a local file with its content to every
  // recorded path that lacks it. Completes with the paths that could not be written; fails with
  // errorOnFail() when no local file holds the content. Completes before it returns.
  Future<std::vector<std::string>> ensureItemExistsInAllItemPathsOnRestore(const MediaItem& item);
  // "images" or "videos": the category's folder in a backup.
  const std::string& folderName() const { return folderName_; }
  // The code a restored file that cannot be placed is reported with.
  BackupSDKError errorOnFail() const { return errorOnFail_; }

 private:
  // Whether a file of a photo library is of the repository's category.
  using TypeFilter = bool (FileExtensionFilter::*)(const PathData&) const;

  // The files of the photo libraries in the picture folder that this repository takes.
  std::vector<PathData> photoLibraryPaths(ScanSkips& skipped);
  // A path below the folder as an item records it ("" for the folder itself); nothing for one
  // elsewhere.
  std::optional<std::string> itemPathOf(const std::string& fullPath) const;

  const std::string localDirectory_;
  const TypeFilter isItemType_;
  const SkippedItem::Category category_;
  const BackupSDKError errorOnFail_;
  const std::string folderName_;
  const std::shared_ptr<MediaRepositoryHelper> mediaRepositoryHelper_;
  const std::shared_ptr<LocationProviderProtocol> locationProvider_;
  const std::shared_ptr<FileExtensionFilter> fileExtensionFilter_;
  // This machine's name as a new backup record carries it; names the folder that takes the files
  // of photo libraries.
  const std::string deviceName_;
};

}  // namespace tessellon
