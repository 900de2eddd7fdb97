#include "restore/FailedToDownloadMediaMetaData.h"

#include <chrono>
#include <string>

namespace tessellon {

std::shared_ptr<FailedToDownloadMediaMetaData> FailedToDownloadMediaMetaData::createFailedItems(
    const std::shared_ptr<MediaMetaData>& summary) {
  auto failed = std::make_shared<FailedToDownloadMediaMetaData>();
  Items placeholders;
  if (summary && summary->count > 0) {
    const Date now =
        std::chrono::time_point_cast<std::chrono::milliseconds>(std::chrono::system_clock::now());
    // The summary's bytes spread over the placeholders, so the items add up
    // to what the record promised.
    const int64_t share = summary->bytes / summary->count;
    placeholders.reserve(static_cast<size_t>(summary->count));
    for (int index = 0; index < summary->count; ++index) {
      const std::string name = "failed" + std::to_string(index);
      const int64_t bytes =
          index + 1 == summary->count ? summary->bytes - share * (summary->count - 1) : share;
      placeholders.push_back(
          std::make_shared<MediaItem>("", bytes, name, now, name, std::vector<std::string>{}));
    }
    failed->count = summary->count;
    failed->bytes = summary->bytes;
  }
  failed->items = std::move(placeholders);
  return failed;
}

}  // namespace tessellon
