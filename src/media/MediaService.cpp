#include "media/MediaService.h"

#include <utility>

namespace tessellon {

MediaService::MediaService(std::shared_ptr<MediaRepositoryProtocol> mediaRepository)
    : mediaRepository_(std::move(mediaRepository)) {}

Future<std::vector<std::shared_ptr<MediaItem>>> MediaService::getItemsOnBackupPreview(
    std::shared_ptr<CancelToken> cancelToken) {
  return itemRepository()->getItemsOnBackupPreview(std::move(cancelToken));
}

Future<MediaItemsWithHashes> MediaService::getItemsWithHashOnRestore(
    std::shared_ptr<CancelToken> cancelToken, const std::vector<Version>& forVersions) {
  return itemRepository()->getItemsWithHashOnRestore(std::move(cancelToken), forVersions);
}

Future<std::vector<std::string>> MediaService::getItemHash(
    const MediaItem& item, std::shared_ptr<CancelToken> cancelToken,
    const std::vector<Version>& forVersions) {
  return itemRepository()->getItemHash(item, std::move(cancelToken), forVersions);
}

Future<Void> MediaService::appendItemFileToBackup(const std::shared_ptr<Zip>& zip,
                                                  MediaItem& item) {
  return itemRepository()->appendItemFileToBackup(zip, item);
}

Future<bool> MediaService::exists(const MediaItem& item) { return mediaRepository_->exists(item); }

Future<std::vector<std::string>> MediaService::addItemAtRestore(const MediaItem& item,
                                                                const std::string& localPath) {
  return itemRepository()->addItemAtRestore(item, localPath);
}

Future<std::vector<std::string>> MediaService::ensureItemExistsInAllItemPaths(
    const MediaItem& item) {
  return itemRepository()->ensureItemExistsInAllItemPathsOnRestore(item);
}

}  // namespace tessellon
