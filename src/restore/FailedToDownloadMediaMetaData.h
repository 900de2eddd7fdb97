#pragma once

#include <memory>

#include "model/MediaMetaData.h"

namespace tessellon {

// Stands for a media list document that could not be downloaded or read: no
// items, and the backup record's count and bytes, all to be reported as failed.
struct FailedToDownloadMediaMetaData final : MediaMetaData {
  using MediaMetaData::MediaMetaData;

  // `summary`'s counters (zero without a summary or with a negative count).
  static std::shared_ptr<FailedToDownloadMediaMetaData> createFailedItems(
      const std::shared_ptr<MediaMetaData>& summary);
};

}  // namespace tessellon
