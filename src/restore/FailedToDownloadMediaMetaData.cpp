#include "restore/FailedToDownloadMediaMetaData.h"

#include <algorithm>

namespace tessellon {

std::shared_ptr<FailedToDownloadMediaMetaData> FailedToDownloadMediaMetaData::createFailedItems(
    const std::shared_ptr<MediaMetaData>& summary) {
  auto failed = std::make_shared<FailedToDownloadMediaMetaData>();
  // The counters only, never an item per count: the count comes from the remote, and a record
  // that claims two hundred million items must not make the restore allocate for each.
  failed->items = MediaMetaData::Items{};
  if (summary && summary->count > 0) {
    failed->count = summary->count;
    failed->bytes = std::max<int64_t>(summary->bytes, 0);
  }
  return failed;
}

}  // namespace tessellon
