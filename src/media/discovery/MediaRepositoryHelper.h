#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/LoggerProtocol.h"

#include "media/DuplicateCollectionProtocol.h"
#include "media/MediaPathUtilProtocol.h"
#include "media/caches/CachingServiceProtocol.h"
#include "media/discovery/FileExtensionFilterProtocol.h"
#include "media/discovery/MediaRepositoryHelperProtocol.h"
#include "media/discovery/PathValidatorProtocol.h"
#include "media/fingerprints/HasherProtocol.h"
#include "media/fingerprints/HashingUtilAdapterProtocol.h"
#include "media/placement/RestoreMediaItemHelperProtocol.h"
#include "platform/locations/LocationProviderProtocol.h"
#include "platform/zip/ZipServiceProtocol.h"

namespace tessellon {

// The file work of both media repositories (see the protocol). Items come from one attribute
// read per file that does not follow links; content is read only for fingerprints the cache does
// not hold, and then only the sample windows. Stateless beyond its collaborators, so scans may run
// on several threads.
class MediaRepositoryHelper final : public MediaRepositoryHelperProtocol {
 public:
  // `cachingService` and `logger` may be null (no fingerprint cache, no warnings);
  // `restoreMediaItemHelper` too, and restored files then cannot be placed.
  MediaRepositoryHelper(std::shared_ptr<CachingServiceProtocol> cachingService,
                        std::shared_ptr<ZipServiceProtocol> zipService,
                        std::shared_ptr<FileIOServiceProtocol> fileManager,
                        std::shared_ptr<RestoreMediaItemHelperProtocol> restoreMediaItemHelper,
                        std::shared_ptr<LocationProviderProtocol> locationProvider,
                        std::shared_ptr<PathValidatorProtocol> pathValidator,
                        std::shared_ptr<FileExtensionFilterProtocol> fileExtensionFilter,
                        std::shared_ptr<DuplicateCollectionProtocol> duplicateCollection,
                        std::shared_ptr<HashingUtilAdapterProtocol> hashUtils,
                        std::shared_ptr<HasherProtocol> hasher,
                        std::shared_ptr<MediaPathUtilProtocol> mediaPathUtil,
                        std::shared_ptr<LoggerProtocol> logger);
  MediaRepositoryHelper(const MediaRepositoryHelper&) = delete;
  MediaRepositoryHelper& operator=(const MediaRepositoryHelper&) = delete;

  std::vector<PathData> getValidPathsFor(const std::string& directory, const Keep& keep,
                                         ScanSkips& skipped) override;
  std::vector<PathData> getValidPhotoLibraryPaths(const std::string& directory, const Keep& keep,
                                                  ScanSkips& skipped) override;
  std::shared_ptr<MediaItem> createMediaItem(const std::string& path,
                                             const FileAttributes& attributes) override;
  Result<std::vector<std::shared_ptr<MediaItem>>> generateMediaItemsWithoutFingerprint(
      std::vector<PathData> paths, const std::shared_ptr<CancelToken>& cancelToken,
      const RecordedItems* recorded) override;
  Result<std::vector<std::shared_ptr<MediaItem>>> generateMediaItemsOfDirectory(
      const std::string& directory, const Keep& keep,
      const std::shared_ptr<CancelToken>& cancelToken, ScanSkips& skipped,
      const RecordedItems* recorded) override;
  Result<MediaItemsWithHashes> generateMediaItemsWithFingerprint(
      std::vector<PathData> itemPaths, const std::shared_ptr<CancelToken>& cancelToken,
      const std::string& mediaItemParent, const std::vector<Version>& forVersions) override;
  std::vector<std::string> getHashesFromCache(const MediaItem& item, const std::string& parent,
                                              const std::string& subPath,
                                              const std::vector<Version>& versions) override;
  Future<std::vector<std::string>> getMediaHash(const std::string& directory, const MediaItem& item,
                                                const std::shared_ptr<CancelToken>& cancelToken,
                                                const std::vector<Version>& versions) override;
  Future<Void> appendLocalMediaCopy(const std::shared_ptr<Zip>& zip, MediaItem& item,
                                    const std::string& mediaDirectory,
                                    const std::string& folderName) override;
  Future<std::vector<std::string>> copyMediaToDestinationByPath(const MediaItem& mediaItem,
                                                                const std::string& localPath,
                                                                const std::string& deviceName,
                                                                const std::string& mediaDirectory,
                                                                BackupSDKError error) override;
  Future<std::vector<std::string>> copyLocalMediaToMissingPaths(const MediaItem& mediaItem,
                                                                const std::string& deviceName,
                                                                const std::string& mediaDirectory,
                                                                BackupSDKError error) override;

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

  const std::shared_ptr<CachingServiceProtocol> cachingService_;  // may be null
  const std::shared_ptr<ZipServiceProtocol> zipService_;
  const std::shared_ptr<FileIOServiceProtocol> fileManager_;
  const std::shared_ptr<RestoreMediaItemHelperProtocol> restoreMediaItemHelper_;  // may be null
  const std::shared_ptr<LocationProviderProtocol> locationProvider_;
  const std::shared_ptr<PathValidatorProtocol> pathValidator_;
  const std::shared_ptr<FileExtensionFilterProtocol> fileExtensionFilter_;
  const std::shared_ptr<DuplicateCollectionProtocol> duplicateCollection_;
  const std::shared_ptr<HashingUtilAdapterProtocol> hashUtils_;
  const std::shared_ptr<HasherProtocol> hasher_;
  const std::shared_ptr<MediaPathUtilProtocol> mediaPathUtil_;
  const std::shared_ptr<LoggerProtocol> logger_;  // may be null
};

}  // namespace tessellon
