#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessellon/BackupSDKError.h"
#include "tessellon/LoggerProtocol.h"
#include "tessellon/Version.h"

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "futures/Result.h"
#include "media/DuplicateCollection.h"
#include "media/MediaItemWithHashes.h"
#include "media/caches/CachingService.h"
#include "media/discovery/FileExtensionFilter.h"
#include "media/discovery/PathData.h"
#include "media/discovery/PathValidator.h"
#include "media/discovery/RecordedItems.h"
#include "media/discovery/ScanSkips.h"
#include "media/fingerprints/HashingUtilAdapter.h"
#include "media/placement/RestoreMediaItemHelper.h"
#include "model/MediaItem.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "platform/locations/LocationProviderProtocol.h"
#include "platform/zip/ZipServiceProtocol.h"

namespace tessellon {

class Zip;

// The file work behind both media repositories: folder scans, items from file attributes,
// fingerprints through the persistent cache, packing a file into a backup archive, and placing
// restored files. Scans run on the caller's thread and observe the cancel token before each file;
// symbolic links and anything else that is not a regular file never become items. Items come from
// one attribute read per file that does not follow links; content is read only for fingerprints
// the cache does not hold, and then only the sample windows. Stateless beyond its collaborators,
// so scans may run on several threads.
//
// Nothing a scan drops goes unmentioned, except what is no media by design (folder metadata
// such as ".DS_Store" and ".localized", links, pipes, devices) and what the scan's `keep` turns
// down. Everything else it cannot take is logged at warning level and added to the scan's
// ScanSkips with its reason:
//  - "not UTF-8": a name a document cannot hold; a folder's entry stands for all it holds;
//  - "unreadable folder": a folder that cannot be listed, once for all it holds;
//  - "path too long": a path the system cannot open by name;
//  - "vanished": a file or folder removed between its listing and its use;
//  - "unreadable file": a file whose attributes cannot be read.
class MediaRepositoryHelper final {
 public:
  static constexpr std::string_view kProtocolName = "MediaRepositoryHelper";
  // Which scanned paths a scan is about; asked before anything else, about folders too.
  using Keep = std::function<bool(const PathData&)>;

  // `cachingService` and `logger` may be null (no fingerprint cache, no warnings);
  // `restoreMediaItemHelper` too, and restored files then cannot be placed.
  MediaRepositoryHelper(std::shared_ptr<CachingService> cachingService,
                        std::shared_ptr<ZipServiceProtocol> zipService,
                        std::shared_ptr<FileIOServiceProtocol> fileManager,
                        std::shared_ptr<RestoreMediaItemHelper> restoreMediaItemHelper,
                        std::shared_ptr<LocationProviderProtocol> locationProvider,
                        std::shared_ptr<PathValidator> pathValidator,
                        std::shared_ptr<FileExtensionFilter> fileExtensionFilter,
                        std::shared_ptr<DuplicateCollection> duplicateCollection,
                        std::shared_ptr<HashingUtilAdapter> hashUtils,
                        std::shared_ptr<LoggerProtocol> logger);
  MediaRepositoryHelper(const MediaRepositoryHelper&) = delete;
  MediaRepositoryHelper& operator=(const MediaRepositoryHelper&) = delete;

  // Every valid file below `directory` that `keep` accepts (it is asked about folders too), in
  // listing order, with its path relative to `directory` and its attributes. Empty when
  // `directory` does not exist; a `directory` that cannot be listed is one skipped entry.
  std::vector<PathData> getValidPathsFor(const std::string& directory, const Keep& keep,
                                         ScanSkips& skipped);
  // The same over the photo-library bundles in `directory`, relative to `directory`, without
  // their "resources" subtrees.
  std::vector<PathData> getValidPhotoLibraryPaths(const std::string& directory, const Keep& keep,
                                                  ScanSkips& skipped);
  // An item without fingerprint for the file at `path` (relative; it becomes id and only path).
  std::shared_ptr<MediaItem> createMediaItem(const std::string& path,
                                             const FileAttributes& attributes);
  // Items from attributes alone, each registered with the duplicate collection; a file that
  // `recorded` (may be null) already describes is its recorded item. A cancelled token ends the
  // scan with the items built so far. Fails with the platform error of an attribute read.
  Result<std::vector<std::shared_ptr<MediaItem>>> generateMediaItemsWithoutFingerprint(
      std::vector<PathData> paths, const std::shared_ptr<CancelToken>& cancelToken,
      const RecordedItems* recorded);
  // generateMediaItemsWithoutFingerprint of getValidPathsFor(directory, keep, skipped), each item
  // built as the listing reads its path: a large folder's scan never holds a list of paths
  // beside its items.
  Result<std::vector<std::shared_ptr<MediaItem>>> generateMediaItemsOfDirectory(
      const std::string& directory, const Keep& keep,
      const std::shared_ptr<CancelToken>& cancelToken, ScanSkips& skipped,
      const RecordedItems* recorded);
  // Items with fingerprints of `forVersions`, one per distinct content: a later file with the
  // same fingerprint adds its path to the first item. Files inside a photo library are read under
  // the picture folder, the others under `mediaItemParent`. Files without any fingerprint are
  // skipped. Fails with the platform error of an attribute read.
  Result<MediaItemsWithHashes> generateMediaItemsWithFingerprint(
      std::vector<PathData> itemPaths, const std::shared_ptr<CancelToken>& cancelToken,
      const std::string& mediaItemParent, const std::vector<Version>& forVersions);
  // The item's fingerprints for `versions`: cached ones where present, the rest read from
  // `parent`/`subPath` and added to the cache. Versions that cannot be computed are left out.
  std::vector<std::string> getHashesFromCache(const MediaItem& item, const std::string& parent,
                                              const std::string& subPath,
                                              const std::vector<Version>& versions);
  // The fingerprints of the item's file under `directory`, read without the cache. Fails with
  // mediaNoImageData when the path cannot be a "file://" URL; cancelled when the token is.
  // Completes before it returns.
  Future<std::vector<std::string>> getMediaHash(const std::string& directory, const MediaItem& item,
                                                const std::shared_ptr<CancelToken>& cancelToken,
                                                const std::vector<Version>& versions);
  // The full-content checksum ("xxh3-128:…") of the item's file under `directory`: what tells
  // apart two files whose sampled fingerprints agree. Reads the whole file; completes before it
  // returns.
  Future<std::string> getMediaChecksum(const std::string& directory, const MediaItem& item,
                                       const std::shared_ptr<CancelToken>& cancelToken);
  // Adds the first readable of the item's files under `mediaDirectory` to `zip` as
  // "<folderName>/<fingerprint>.<extension>" and sets the item's checksum to that of the bytes
  // packed. Fails with mediaNoVideoData when none is readable, or with the archive's error
  // (zipAppendFailed also when the file's size is no longer the item's, or its modification date
  // no longer `modified`). Completes before it returns.
  Future<Void> appendLocalMediaCopy(const std::shared_ptr<Zip>& zip, MediaItem& item,
                                    const std::string& mediaDirectory,
                                    const std::string& folderName, std::optional<Date> modified);
  // Restore: puts the downloaded file at `localPath` at the item's recorded paths below
  // `mediaDirectory` (photo-library paths go to "Restore_<deviceName>/PhotosLibrary" in the picture
  // folder) and completes with the paths that could not be written. The download may be moved
  // into place. When no path could be written, a copy named after the fingerprint is placed below
  // `mediaDirectory`; when that fails too the future fails with `error`. Completes before it
  // returns.
  Future<std::vector<std::string>> copyMediaToDestinationByPath(const MediaItem& mediaItem,
                                                                const std::string& localPath,
                                                                const std::string& deviceName,
                                                                const std::string& mediaDirectory,
                                                                BackupSDKError error);
  // Restore of an item whose content is already on this machine: copies a local file with the
  // item's fingerprint (one of its recorded paths, or one the cache found for the fingerprint) to
  // every recorded path that lacks it, and completes with the paths that could not be written.
  // Fails with `error` when no local file holds the content after all. Completes before it
  // returns.
  Future<std::vector<std::string>> copyLocalMediaToMissingPaths(const MediaItem& mediaItem,
                                                                const std::string& deviceName,
                                                                const std::string& mediaDirectory,
                                                                BackupSDKError error);

 private:
  // A local file with the item's content: one of its own paths, else one the last scan found.
  std::optional<std::string> findLocalCopy(const MediaItem& item,
                                           const std::string& mediaDirectory);

  // Logs and records one entry a scan cannot take: every skip of every scan passes here.
  void skip(ScanSkips& skipped, std::string path, std::string reason);
  // The entry below `directory` as a path to hand on, or nothing: what `keep` turns down, folders
  // and folder metadata in silence, anything else through skip(). Reads the attributes the
  // listing could not.
  std::optional<PathData> admit(const std::string& directory, ListedItem&& entry, const Keep& keep,
                                ScanSkips& skipped);
  // The attributes the listing read, or the file system's answer now.
  Result<FileAttributes> attributesOf(const PathData& path);
  // Hands each path admit() lets through below `directory`/`folder` (`folder` relative to
  // `directory`, "" for `directory` itself) to `visit` as the listing reads it; `visit` answers
  // false to stop.
  void forEachValidPath(const std::string& directory, const std::string& folder, const Keep& keep,
                        ScanSkips& skipped, const std::function<bool(PathData&&)>& visit);
  // The item of a scanned path, registered with the duplicate collection; null for anything but
  // a regular file.
  Result<std::shared_ptr<MediaItem>> previewItem(const PathData& path,
                                                 const RecordedItems* recorded);

  const std::shared_ptr<CachingService> cachingService_;  // may be null
  const std::shared_ptr<ZipServiceProtocol> zipService_;
  const std::shared_ptr<FileIOServiceProtocol> fileManager_;
  const std::shared_ptr<RestoreMediaItemHelper> restoreMediaItemHelper_;  // may be null
  const std::shared_ptr<LocationProviderProtocol> locationProvider_;
  const std::shared_ptr<PathValidator> pathValidator_;
  const std::shared_ptr<FileExtensionFilter> fileExtensionFilter_;
  const std::shared_ptr<DuplicateCollection> duplicateCollection_;
  const std::shared_ptr<HashingUtilAdapter> hashUtils_;
  const std::shared_ptr<LoggerProtocol> logger_;  // may be null
};

}  // namespace tessellon
