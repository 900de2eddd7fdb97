#include "backup/OptimizeMediaDataService.h"

#include <algorithm>

#include "futures/FuturesError.h"
#include "media/fingerprints/HashUtils.h"
#include "model/ItemEquality.h"

namespace tessellon {
namespace {

void addMissingPaths(std::vector<std::string>& paths, const std::vector<std::string>& more) {
  for (const std::string& path : more) {
    if (std::find(paths.begin(), paths.end(), path) == paths.end()) paths.push_back(path);
  }
}

// Gives `taskItem`'s paths to every remote item carrying one of `hashes` that may take its
// date; true when there was at least one.
bool foldIntoRemote(const std::shared_ptr<MediaItem>& taskItem,
                    const std::vector<std::string>& hashes, const MediaMetaData::Items& remote) {
  bool matched = false;
  for (const auto& remoteItem : remote) {
    if (!remoteItem->fingerprint) continue;
    if (std::find(hashes.begin(), hashes.end(), *remoteItem->fingerprint) == hashes.end()) {
      continue;
    }
    // Most of a large file is not sampled: whether it is that content the run tells by reading
    // it whole, so the preview leaves it to the run rather than read every such file.
    if (remoteItem->checksum && HashUtils::samplesPart(taskItem->bytes, *remoteItem->fingerprint)) {
      continue;
    }
    if (!sharesDate(*remoteItem, *taskItem)) {
      // Recorded on its own by the run; the stored item no longer dates these paths.
      removePaths(remoteItem->paths(), taskItem->paths());
      continue;
    }
    addMissingPaths(remoteItem->paths(), taskItem->paths());
    // The stored item stands for the file as it is now: restore dates it from the record.
    remoteItem->modificationDate = taskItem->modificationDate;
    matched = true;
  }
  return matched;
}

}  // namespace

Future<Void> OptimizeMediaDataService::optimizeMediaData(
    const std::shared_ptr<MediaMetaData>& taskListMediaMetaData,
    const std::shared_ptr<MediaMetaData>& remoteBackupMediaMetaData, std::vector<Version> versions,
    const std::shared_ptr<CancelToken>& cancelToken, const HashFunction& hashfunc) {
  Future<Void> chain = Future<Void>::success(Void{});
  if (!taskListMediaMetaData || !taskListMediaMetaData->items || !remoteBackupMediaMetaData ||
      !remoteBackupMediaMetaData->items || remoteBackupMediaMetaData->count == 0) {
    return chain;
  }
  auto matched = std::make_shared<MediaMetaData::Items>();
  auto shared = std::make_shared<const std::vector<Version>>(std::move(versions));
  // Items are hashed strictly one after another: each step starts when the previous succeeded.
  for (const std::shared_ptr<MediaItem>& taskItem : *taskListMediaMetaData->items) {
    chain = chain.onSuccess([=]() {
      return hashfunc(*taskItem, cancelToken, *shared)
          .onComplete([=](const FutureResult<std::vector<std::string>>& hashes) {
            if (hashes.isCancelled()) return Completion<Void>::cancelled();
            if (hashes.isFail()) {
              if (testForCancellation(hashes.failure())) return Completion<Void>::cancelled();
              return Completion<Void>::fail(hashes.failure());
            }
            if (foldIntoRemote(taskItem, hashes.successValue(),
                               *remoteBackupMediaMetaData->items)) {
              matched->push_back(taskItem);
            }
            return Completion<Void>::success(Void{});
          });
    });
  }
  return chain.onSuccess([taskListMediaMetaData, matched]() {
    if (!matched->empty()) taskListMediaMetaData->removeMediaItemsByEquatable(*matched);
  });
}

}  // namespace tessellon
