#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tessellon/Version.h"

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "media/MediaItemWithHashes.h"
#include "media/discovery/MediaItemRepository.h"
#include "media/discovery/MediaRepositoryProtocol.h"
#include "model/MediaItem.h"

namespace tessellon {

class Zip;

// What the backup and restore pipelines ask of one media category; each call forwards to the
// category's repository (see MediaItemRepository for outcomes and threads).
class MediaServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "MediaServiceProtocol";
  MediaServiceProtocol() = default;
  virtual ~MediaServiceProtocol() = default;
  MediaServiceProtocol(const MediaServiceProtocol&) = delete;
  MediaServiceProtocol& operator=(const MediaServiceProtocol&) = delete;

  virtual std::shared_ptr<MediaRepositoryProtocol> mediaRepository() const = 0;
  // The repository of this service's category.
  virtual std::shared_ptr<MediaItemRepository> itemRepository() const = 0;

  virtual Future<std::vector<std::shared_ptr<MediaItem>>> getItemsOnBackupPreview(
      std::shared_ptr<CancelToken> cancelToken) = 0;
  virtual Future<MediaItemsWithHashes> getItemsWithHashOnRestore(
      std::shared_ptr<CancelToken> cancelToken, const std::vector<Version>& forVersions) = 0;
  virtual Future<std::vector<std::string>> getItemHash(const MediaItem& item,
                                                       std::shared_ptr<CancelToken> cancelToken,
                                                       const std::vector<Version>& forVersions) = 0;
  // The full-content checksum of the item's file, as packing sets it (see MediaItemRepository).
  virtual Future<std::string> getItemChecksum(const MediaItem& item,
                                              std::shared_ptr<CancelToken> cancelToken) = 0;
  // Packs the item's file and sets its checksum (see MediaItemRepository).
  virtual Future<Void> appendItemFileToBackup(const std::shared_ptr<Zip>& zip, MediaItem& item,
                                              bool asScanned) = 0;
  // Whether a local file with the item's content is known (see MediaRepositoryProtocol::exists).
  virtual Future<bool> exists(const MediaItem& item) = 0;
  // Restore: the downloaded file at `localPath` to the item's paths; completes with the paths
  // that could not be written (see MediaItemRepository::addItemAtRestore).
  virtual Future<std::vector<std::string>> addItemAtRestore(const MediaItem& item,
                                                            const std::string& localPath) = 0;
  // Restore of an item already here: its content to every path that lacks it; completes with the
  // paths that could not be written (see ensureItemExistsInAllItemPathsOnRestore).
  virtual Future<std::vector<std::string>> ensureItemExistsInAllItemPaths(
      const MediaItem& item) = 0;
};

}  // namespace tessellon
