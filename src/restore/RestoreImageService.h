#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessellon/MediaMetaData.h"
#include "tessellon/ProcessReport.h"

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "media/ImageServiceProtocol.h"
#include "restore/RestoreMediaItemService.h"

namespace tessellon {

// Brings the images of a backup back to their local paths, from its "images" folder (see
// RestoreMediaItemService).
class RestoreImageService final : public RestoreMediaItemService {
 public:
  static constexpr std::string_view kProtocolName = "RestoreImageService";
  // `logger` may be null.
  RestoreImageService(std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
                      std::shared_ptr<LoggerProtocol> logger,
                      std::shared_ptr<RestoreStatusServiceProtocol> restoreStatusService,
                      std::shared_ptr<FileIOServiceProtocol> fileIOService,
                      std::shared_ptr<ImageServiceProtocol> imageService,
                      std::shared_ptr<RestoreSlots> slots);

  // No section when `metaData` is null or the category is not selected; every
  // item failed for a FailedToDownloadMediaMetaData; otherwise each item is
  // restored in turn and a failed item only counts as failed. Cancelled when
  // `cancelToken` is.
  Future<std::optional<RestoreMediaReportSection>> restoreAllImages(
      std::shared_ptr<MediaMetaData> metaData, std::vector<std::string> remoteFolder,
      std::shared_ptr<CancelToken> cancelToken);

  // One image: copied from a local file with its content, or downloaded.
  Future<FailedPaths> restoreImage(const std::shared_ptr<MediaItem>& item,
                                   const std::vector<std::string>& remoteFolder,
                                   const std::shared_ptr<CancelToken>& cancelToken);

 private:
  const std::shared_ptr<ImageServiceProtocol> imageService_;
};

}  // namespace tessellon
