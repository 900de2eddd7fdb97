#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/caches/CachingService.h"
#include "media/discovery/FileExtensionFilter.h"
#include "media/discovery/MediaItemRepositoryProtocol.h"
#include "media/discovery/MediaRepositoryHelper.h"
#include "platform/locations/LocationProviderProtocol.h"

namespace tessellon {

// What the image and the video repository share; they differ only in the folder they scan, the
// extensions they take from photo libraries, their folder name in backups and their error code.
// Scans run as one work item on the shared pool; the repository lives in the container for the
// life of the process, so the work items may use it.
class MediaItemRepository : public virtual MediaItemRepositoryProtocol {
 public:
  // Whether a file of a photo library is of the repository's category.
  using TypeFilter = std::function<bool(const PathData&)>;

  MediaItemRepository(std::string localDirectory, TypeFilter isItemType,
                      SkippedItem::Category category, BackupSDKError errorOnFail,
                      std::string folderName,
                      std::shared_ptr<MediaRepositoryHelper> mediaRepositoryHelper,
                      std::shared_ptr<LocationProviderProtocol> locationProvider,
                      std::shared_ptr<FileExtensionFilter> fileExtensionFilter,
                      std::shared_ptr<CachingService> cachingService);

  std::vector<PathData> generatePaths(const std::shared_ptr<CancelToken>& cancelToken) override;
  Future<MediaScan> scanOnBackupPreview(std::shared_ptr<CancelToken> cancelToken,
                                        std::shared_ptr<const MediaMetaData> record) override;
  Future<std::vector<std::shared_ptr<MediaItem>>> getItemsOnBackupPreview(
      std::shared_ptr<CancelToken> cancelToken) override;
  Future<MediaItemsWithHashes> getItemsWithHashOnRestore(
      std::shared_ptr<CancelToken> cancelToken, const std::vector<Version>& forVersions) override;
  Future<std::vector<std::string>> getItemHash(const MediaItem& item,
                                               std::shared_ptr<CancelToken> cancelToken,
                                               const std::vector<Version>& forVersions) override;
  std::string getMediaDirectory(const std::string& path) const override;
  Future<Void> appendItemFileToBackup(const std::shared_ptr<Zip>& zip, MediaItem& item) override;
  Future<std::vector<std::string>> addItemAtRestore(const MediaItem& item,
                                                    const std::string& localPath) override;
  Future<std::vector<std::string>> ensureItemExistsInAllItemPathsOnRestore(
      const MediaItem& item) override;
  const std::string& folderName() const override { return folderName_; }
  BackupSDKError errorOnFail() const override { return errorOnFail_; }

 protected:
  // The files of the photo libraries in the picture folder that this repository takes.
  std::vector<PathData> photoLibraryPaths(ScanSkips& skipped);

  const std::string localDirectory_;
  const TypeFilter isItemType_;
  const SkippedItem::Category category_;
  const BackupSDKError errorOnFail_;
  const std::string folderName_;
  const std::shared_ptr<MediaRepositoryHelper> mediaRepositoryHelper_;
  const std::shared_ptr<LocationProviderProtocol> locationProvider_;
  const std::shared_ptr<FileExtensionFilter> fileExtensionFilter_;
  const std::shared_ptr<CachingService> cachingService_;
  // This machine's name as a new backup record carries it; names the folder that takes the files
  // of photo libraries.
  const std::string deviceName_;
};

}  // namespace tessellon
