#include "media/discovery/MediaItemRepository.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "futures/Executor.h"
#include "model/BackupRecord.h"

namespace tessellon {
namespace {

bool isImages(SkippedItem::Category category) { return category == SkippedItem::Category::images; }

}  // namespace

MediaItemRepository::MediaItemRepository(
    SkippedItem::Category category, std::shared_ptr<MediaRepositoryHelper> mediaRepositoryHelper,
    std::shared_ptr<LocationProviderProtocol> locationProvider,
    std::shared_ptr<FileExtensionFilter> fileExtensionFilter)
    : localDirectory_(isImages(category) ? locationProvider->localImageDirectory()
                                         : locationProvider->localVideoDirectory()),
      isItemType_(isImages(category) ? &FileExtensionFilter::isImage
                                     : &FileExtensionFilter::isVideo),
      category_(category),
      errorOnFail_(isImages(category) ? BackupSDKError::mediaFailedToAddImage
                                      : BackupSDKError::mediaFailedToAddVideo),
      folderName_(isImages(category) ? "images" : "videos"),
      mediaRepositoryHelper_(std::move(mediaRepositoryHelper)),
      locationProvider_(std::move(locationProvider)),
      fileExtensionFilter_(std::move(fileExtensionFilter)),
      deviceName_(BackupRecord(std::string()).deviceName.value_or("")) {}

std::vector<PathData> MediaItemRepository::generatePaths(
    const std::shared_ptr<CancelToken>& cancelToken) {
  if (isCancelled(cancelToken)) return {};
  // A restore only needs the files that are there; the scan's warnings are logged all the same.
  ScanSkips skipped(category_);
  // Libraries are scanned below, from the picture folder only, and filtered by extension there.
  const auto& filter = fileExtensionFilter_;
  std::vector<PathData> paths = mediaRepositoryHelper_->getValidPathsFor(
      localDirectory_,
      [&filter](const PathData& path) { return !filter->isPhotoLibraryPath(path); }, skipped);
  if (isCancelled(cancelToken)) return {};
  std::vector<PathData> libraries = photoLibraryPaths(skipped);
  if (isCancelled(cancelToken)) return {};
  paths.insert(paths.end(), std::make_move_iterator(libraries.begin()),
               std::make_move_iterator(libraries.end()));
  return paths;
}

std::vector<PathData> MediaItemRepository::photoLibraryPaths(ScanSkips& skipped) {
  // Folders are kept so that one that cannot be listed is reported: it may hide either category.
  return mediaRepositoryHelper_->getValidPhotoLibraryPaths(
      locationProvider_->localImageDirectory(),
      [this](const PathData& path) {
        return (path.attributes && path.attributes->type == FileAttributes::Type::directory) ||
               ((*fileExtensionFilter_).*isItemType_)(path);
      },
      skipped);
}

Future<MediaScan> MediaItemRepository::scanOnBackupPreview(
    const std::shared_ptr<CancelToken>& cancelToken, std::shared_ptr<const MediaMetaData> record) {
  Promise<MediaScan> promise;
  Executor::defaultQoS().execute([this, promise, cancelToken, record = std::move(record)] {
    // As generatePaths followed by generateMediaItemsWithoutFingerprint, without the list of
    // the folder's paths in between.
    const RecordedItems recorded(record);
    ScanSkips skipped(category_);
    const auto& filter = fileExtensionFilter_;
    Result<std::vector<std::shared_ptr<MediaItem>>> scanned =
        mediaRepositoryHelper_->generateMediaItemsOfDirectory(
            localDirectory_,
            [&filter](const PathData& path) { return !filter->isPhotoLibraryPath(path); },
            cancelToken, skipped, &recorded);
    if (!scanned.ok()) return promise.completeWithFail(scanned.error());
    MediaScan scan{std::move(scanned).value(), {}, {}};
    if (!isCancelled(cancelToken)) {
      Result<std::vector<std::shared_ptr<MediaItem>>> libraries =
          mediaRepositoryHelper_->generateMediaItemsWithoutFingerprint(photoLibraryPaths(skipped),
                                                                       cancelToken, &recorded);
      if (!libraries.ok()) return promise.completeWithFail(libraries.error());
      for (auto& item : std::move(libraries).value()) scan.items.push_back(std::move(item));
    }
    scan.skipped = std::move(skipped.items);
    for (const SkippedItem& entry : scan.skipped) {
      if (std::optional<std::string> path = itemPathOf(entry.path)) {
        scan.unseen.push_back(std::move(*path));
      }
    }
    promise.completeWithSuccess(std::move(scan));
  });
  return promise.future;
}

std::optional<std::string> MediaItemRepository::itemPathOf(const std::string& fullPath) const {
  std::string_view root = localDirectory_;
  while (root.size() > 1 && root.back() == '/') root.remove_suffix(1);
  if (fullPath == root) return std::string();
  const std::string_view prefix = root == "/" ? std::string_view() : root;
  if (!fullPath.starts_with(prefix) || fullPath.size() <= prefix.size() + 1 ||
      fullPath[prefix.size()] != '/') {
    return std::nullopt;
  }
  return fullPath.substr(prefix.size() + 1);
}

Future<std::vector<std::shared_ptr<MediaItem>>> MediaItemRepository::getItemsOnBackupPreview(
    const std::shared_ptr<CancelToken>& cancelToken) {
  return scanOnBackupPreview(cancelToken, nullptr).onSuccess([](const MediaScan& scan) {
    return scan.items;
  });
}

Future<MediaItemsWithHashes> MediaItemRepository::getItemsWithHashOnRestore(
    const std::shared_ptr<CancelToken>& cancelToken, const std::vector<Version>& forVersions) {
  Promise<MediaItemsWithHashes> promise;
  Executor::defaultQoS().execute([this, promise, cancelToken, forVersions] {
    Result<MediaItemsWithHashes> items = mediaRepositoryHelper_->generateMediaItemsWithFingerprint(
        generatePaths(cancelToken), cancelToken, localDirectory_, forVersions);
    if (items.ok()) {
      promise.completeWithSuccess(std::move(items).value());
    } else {
      promise.completeWithFail(items.error());
    }
  });
  return promise.future;
}

Future<std::vector<std::string>> MediaItemRepository::getItemHash(
    const MediaItem& item, const std::shared_ptr<CancelToken>& cancelToken,
    const std::vector<Version>& forVersions) {
  return mediaRepositoryHelper_->getMediaHash(getMediaDirectory(item.firstPath()), item,
                                              cancelToken, forVersions);
}

Future<std::string> MediaItemRepository::getItemChecksum(
    const MediaItem& item, const std::shared_ptr<CancelToken>& cancelToken) {
  return mediaRepositoryHelper_->getMediaChecksum(getMediaDirectory(item.firstPath()), item,
                                                  cancelToken);
}

std::string MediaItemRepository::getMediaDirectory(const std::string& path) const {
  // Photo libraries live in the picture folder, whichever category a file of theirs belongs to.
  if (path.find(".photoslibrary") != std::string::npos) {
    return locationProvider_->localImageDirectory();
  }
  return localDirectory_;
}

std::vector<std::string> MediaItemRepository::mediaDirectories() const {
  std::vector<std::string> folders{localDirectory_};
  const std::string pictures = locationProvider_->localImageDirectory();
  if (pictures != localDirectory_) folders.push_back(pictures);
  return folders;
}

Future<Void> MediaItemRepository::appendItemFileToBackup(const std::shared_ptr<Zip>& zip,
                                                         MediaItem& item, bool asScanned) {
  return mediaRepositoryHelper_->appendLocalMediaCopy(
      zip, item, getMediaDirectory(item.firstPath()), folderName_,
      asScanned ? std::optional<Date>(item.modificationDate) : std::nullopt);
}

Future<std::vector<std::string>> MediaItemRepository::addItemAtRestore(
    const MediaItem& item, const std::string& localPath) {
  return mediaRepositoryHelper_->copyMediaToDestinationByPath(item, localPath, deviceName_,
                                                              localDirectory_, errorOnFail_);
}

Future<std::vector<std::string>> MediaItemRepository::ensureItemExistsInAllItemPathsOnRestore(
    const MediaItem& item) {
  return mediaRepositoryHelper_->copyLocalMediaToMissingPaths(item, deviceName_, localDirectory_,
                                                              errorOnFail_);
}

}  // namespace tessellon
