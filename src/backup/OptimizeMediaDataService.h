#pragma once

#include "backup/OptimizeMediaDataServiceProtocol.h"

namespace tessellon {

// Matches one media category of a preview's task list against the remote items by content.
class OptimizeMediaDataService final : public OptimizeMediaDataServiceProtocol {
 public:
  OptimizeMediaDataService() = default;
  OptimizeMediaDataService(const OptimizeMediaDataService&) = delete;
  OptimizeMediaDataService& operator=(const OptimizeMediaDataService&) = delete;

  Future<Void> optimizeMediaData(std::shared_ptr<MediaMetaData> taskListMediaMetaData,
                                 std::shared_ptr<MediaMetaData> remoteBackupMediaMetaData,
                                 std::vector<Version> versions,
                                 std::shared_ptr<CancelToken> cancelToken,
                                 HashFunction hashfunc) override;
};

}  // namespace tessellon
