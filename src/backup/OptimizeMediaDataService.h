#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tessellon/Version.h"

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "model/MediaItem.h"
#include "model/MediaMetaData.h"

namespace tessellon {

// Matches one media category of a preview's task list against the remote items by content, and
// folds task items whose content the remote already stores into the remote items.
class OptimizeMediaDataService final {
 public:
  static constexpr std::string_view kProtocolName = "OptimizeMediaDataService";
  OptimizeMediaDataService() = default;
  OptimizeMediaDataService(const OptimizeMediaDataService&) = delete;
  OptimizeMediaDataService& operator=(const OptimizeMediaDataService&) = delete;

  // The fingerprints of an item's file for each of the given schemes that could be computed.
  using HashFunction = std::function<Future<std::vector<std::string>>(
      const MediaItem&, std::shared_ptr<CancelToken>, const std::vector<Version>&)>;

  // Hashes the task items one after another; a task item with a fingerprint of
  // a remote item leaves the task list and lends its paths to that remote item.
  // Nothing happens when either side is absent or the remote has no items.
  // Fails with the first hash failure (nothing is then removed) and ends
  // cancelled with the token or a cancellation-like failure; remote items
  // already given paths keep them. Both metadata objects are changed in place.
  Future<Void> optimizeMediaData(const std::shared_ptr<MediaMetaData>& taskListMediaMetaData,
                                 const std::shared_ptr<MediaMetaData>& remoteBackupMediaMetaData,
                                 std::vector<Version> versions,
                                 const std::shared_ptr<CancelToken>& cancelToken,
                                 const HashFunction& hashfunc);
};

}  // namespace tessellon
