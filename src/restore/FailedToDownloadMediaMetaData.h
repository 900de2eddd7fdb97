#pragma once

#include <memory>

#include "tessellon/MediaMetaData.h"

namespace tessellon {

// Stands for a media list document that could not be downloaded or read: one
// placeholder item per item the backup record counts, all to be reported as
// failed. The placeholders never reach the disk.
struct FailedToDownloadMediaMetaData final : MediaMetaData {
  using MediaMetaData::MediaMetaData;

  // Placeholders for `summary`'s count (none without a summary), with its
  // counters.
  static std::shared_ptr<FailedToDownloadMediaMetaData> createFailedItems(
      const std::shared_ptr<MediaMetaData>& summary);
};

}  // namespace tessellon
