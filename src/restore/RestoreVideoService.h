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
#include "media/VideoServiceProtocol.h"
#include "restore/RestoreMediaItemService.h"

namespace tessellon {

// Brings the videos of a backup back to their local paths, from its "videos" folder (see
// RestoreMediaItemService).
class RestoreVideoService final : public RestoreMediaItemService {
 public:
  static constexpr std::string_view kProtocolName = "RestoreVideoService";
  // `logger` may be null.
  RestoreVideoService(std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
                      std::shared_ptr<LoggerProtocol> logger,
                      std::shared_ptr<RestoreStatusServiceProtocol> restoreStatusService,
                      std::shared_ptr<FileIOServiceProtocol> fileIOService,
                      std::shared_ptr<VideoServiceProtocol> videoService,
                      std::shared_ptr<RestoreSlots> slots);

  // No section when `metaData` is null or the category is not selected; every
  // item failed for a FailedToDownloadMediaMetaData; otherwise each item is
  // restored in turn and a failed item only counts as failed. Cancelled when
  // `cancelToken` is.
  Future<std::optional<RestoreMediaReportSection>> restoreAllVideos(
      std::shared_ptr<MediaMetaData> metaData, std::vector<std::string> remoteFolder,
      std::shared_ptr<CancelToken> cancelToken);

  // One video: copied from a local file with its content, or downloaded.
  Future<FailedPaths> restoreVideo(const std::shared_ptr<MediaItem>& item,
                                   const std::vector<std::string>& remoteFolder,
                                   const std::shared_ptr<CancelToken>& cancelToken);

 private:
  const std::shared_ptr<VideoServiceProtocol> videoService_;
};

}  // namespace tessellon
