#pragma once

#include <memory>

#include "media/ImageServiceProtocol.h"
#include "media/VideoServiceProtocol.h"

namespace tessellon {

// The service of one media category: forwards to that category's repository. The image and the
// video service differ only in the interface they are known by and the repository they pick.
template <class CategoryProtocol>
class MediaService final : public CategoryProtocol {
 public:
  // Takes the category's repository from `mediaRepository`.
  explicit MediaService(std::shared_ptr<MediaRepositoryProtocol> mediaRepository);
  MediaService(const MediaService&) = delete;
  MediaService& operator=(const MediaService&) = delete;

  std::shared_ptr<MediaRepositoryProtocol> mediaRepository() const override {
    return mediaRepository_;
  }
  std::shared_ptr<MediaItemRepository> itemRepository() const override { return itemRepository_; }
  Future<std::vector<std::shared_ptr<MediaItem>>> getItemsOnBackupPreview(
      std::shared_ptr<CancelToken> cancelToken) override;
  Future<MediaItemsWithHashes> getItemsWithHashOnRestore(
      std::shared_ptr<CancelToken> cancelToken, const std::vector<Version>& forVersions) override;
  Future<std::vector<std::string>> getItemHash(const MediaItem& item,
                                               std::shared_ptr<CancelToken> cancelToken,
                                               const std::vector<Version>& forVersions) override;
  Future<std::string> getItemChecksum(const MediaItem& item,
                                      std::shared_ptr<CancelToken> cancelToken) override;
  Future<Void> appendItemFileToBackup(const std::shared_ptr<Zip>& zip, MediaItem& item,
                                      bool asScanned) override;
  Future<bool> exists(const MediaItem& item) override;
  Future<std::vector<std::string>> addItemAtRestore(const MediaItem& item,
                                                    const std::string& localPath) override;
  Future<std::vector<std::string>> ensureItemExistsInAllItemPaths(const MediaItem& item) override;

 private:
  const std::shared_ptr<MediaRepositoryProtocol> mediaRepository_;
  const std::shared_ptr<MediaItemRepository> itemRepository_;
};

// Each category picks its own repository; the bodies are instantiated once, in MediaService.cpp.
template <>
MediaService<ImageServiceProtocol>::MediaService(
    std::shared_ptr<MediaRepositoryProtocol> mediaRepository);
template <>
MediaService<VideoServiceProtocol>::MediaService(
    std::shared_ptr<MediaRepositoryProtocol> mediaRepository);
extern template class MediaService<ImageServiceProtocol>;
extern template class MediaService<VideoServiceProtocol>;

using ImageService = MediaService<ImageServiceProtocol>;
using VideoService = MediaService<VideoServiceProtocol>;

}  // namespace tessellon
