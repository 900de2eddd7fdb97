#pragma once

#include <memory>

#include "media/MediaServiceProtocol.h"

namespace tessellon {

// The forwarding both category services share; they differ only in their repository.
class MediaService : public virtual MediaServiceProtocol {
 public:
  explicit MediaService(std::shared_ptr<MediaRepositoryProtocol> mediaRepository);

  std::shared_ptr<MediaRepositoryProtocol> mediaRepository() const override {
    return mediaRepository_;
  }
  Future<std::vector<std::shared_ptr<MediaItem>>> getItemsOnBackupPreview(
      std::shared_ptr<CancelToken> cancelToken) override;
  Future<MediaItemsWithHashes> getItemsWithHashOnRestore(
      std::shared_ptr<CancelToken> cancelToken, const std::vector<Version>& forVersions) override;
  Future<std::vector<std::string>> getItemHash(const MediaItem& item,
                                               std::shared_ptr<CancelToken> cancelToken,
                                               const std::vector<Version>& forVersions) override;
  Future<Void> appendItemFileToBackup(const std::shared_ptr<Zip>& zip, MediaItem& item) override;
  Future<bool> exists(const MediaItem& item) override;
  Future<std::vector<std::string>> addItemAtRestore(const MediaItem& item,
                                                    const std::string& localPath) override;
  Future<std::vector<std::string>> ensureItemExistsInAllItemPaths(const MediaItem& item) override;

 protected:
  const std::shared_ptr<MediaRepositoryProtocol> mediaRepository_;
};

}  // namespace tessellon
