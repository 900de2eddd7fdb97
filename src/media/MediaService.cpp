#include "media/MediaService.h"

#include <utility>

#include "media/discovery/MediaItemRepository.h"

namespace tessellon {

template <>
MediaService<ImageServiceProtocol>::MediaService(
    std::shared_ptr<MediaRepositoryProtocol> mediaRepository)
    : mediaRepository_(std::move(mediaRepository)),
      itemRepository_(mediaRepository_->imageRepository()) {}

template <>
MediaService<VideoServiceProtocol>::MediaService(
    std::shared_ptr<MediaRepositoryProtocol> mediaRepository)
    : mediaRepository_(std::move(mediaRepository)),
      itemRepository_(mediaRepository_->videoRepository()) {}

template <class CategoryProtocol>
Future<std::vector<std::shared_ptr<MediaItem>>>
MediaService<CategoryProtocol>::getItemsOnBackupPreview(std::shared_ptr<CancelToken> cancelToken) {
  return itemRepository_->getItemsOnBackupPreview(cancelToken);
}

template <class CategoryProtocol>
Future<MediaItemsWithHashes> MediaService<CategoryProtocol>::getItemsWithHashOnRestore(
    std::shared_ptr<CancelToken> cancelToken, const std::vector<Version>& forVersions) {
  return itemRepository_->getItemsWithHashOnRestore(cancelToken, forVersions);
}

template <class CategoryProtocol>
Future<std::vector<std::string>> MediaService<CategoryProtocol>::getItemHash(
    const MediaItem& item, std::shared_ptr<CancelToken> cancelToken,
    const std::vector<Version>& forVersions) {
  return itemRepository_->getItemHash(item, cancelToken, forVersions);
}

template <class CategoryProtocol>
Future<std::string> MediaService<CategoryProtocol>::getItemChecksum(
    const MediaItem& item, std::shared_ptr<CancelToken> cancelToken) {
  return itemRepository_->getItemChecksum(item, cancelToken);
}

template <class CategoryProtocol>
Future<Void> MediaService<CategoryProtocol>::appendItemFileToBackup(const std::shared_ptr<Zip>& zip,
                                                                    MediaItem& item,
                                                                    bool asScanned) {
  return itemRepository_->appendItemFileToBackup(zip, item, asScanned);
}

template <class CategoryProtocol>
Future<bool> MediaService<CategoryProtocol>::exists(const MediaItem& item) {
  return mediaRepository_->exists(item);
}

template <class CategoryProtocol>
Future<std::vector<std::string>> MediaService<CategoryProtocol>::addItemAtRestore(
    const MediaItem& item, const std::string& localPath) {
  return itemRepository_->addItemAtRestore(item, localPath);
}

template <class CategoryProtocol>
Future<std::vector<std::string>> MediaService<CategoryProtocol>::ensureItemExistsInAllItemPaths(
    const MediaItem& item) {
  return itemRepository_->ensureItemExistsInAllItemPathsOnRestore(item);
}

template class MediaService<ImageServiceProtocol>;
template class MediaService<VideoServiceProtocol>;

}  // namespace tessellon
