#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessellon/MediaMetaData.h"
#include "tessellon/ProcessReport.h"

#include "futures/Future.h"
#include "core/CancelToken.h"

namespace tessellon {

// Brings the images of a backup back to their local paths.
class RestoreImageServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "RestoreImageServiceProtocol";
  RestoreImageServiceProtocol() = default;
  virtual ~RestoreImageServiceProtocol() = default;
  RestoreImageServiceProtocol(const RestoreImageServiceProtocol&) = delete;
  RestoreImageServiceProtocol& operator=(const RestoreImageServiceProtocol&) = delete;

  // No section when `metaData` is null or the category is not selected; every
  // item failed for a FailedToDownloadMediaMetaData; otherwise each item is
  // restored in turn and a failed item only counts as failed. Cancelled when
  // `cancelToken` is.
  virtual Future<std::optional<RestoreMediaReportSection>> restoreAllImages(
      std::shared_ptr<MediaMetaData> metaData, std::vector<std::string> remoteFolder,
      std::shared_ptr<CancelToken> cancelToken) = 0;
};

}  // namespace tessellon
