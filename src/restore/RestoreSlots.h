#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "futures/Future.h"

namespace tessellon {

// What the image and the video restore over one remote share: kItemsAtOnce item slots, with the
// loops waiting for one served first come, first served; kDownloadsAtOnce download slots; and the
// turn in which downloaded files are placed. Made once by the container for both services, with
// std::make_shared. Thread-safe.
class RestoreSlots : public std::enable_shared_from_this<RestoreSlots> {
 public:
  using FailedPaths = std::vector<std::string>;

  // Downloads at once, all categories together.
  static constexpr int kDownloadsAtOnce = 4;
  // Items restored at once: more than the downloads, so that while items are checked and wait for
  // their turn to be placed, the downloads of others still run.
  static constexpr int kItemsAtOnce = 2 * kDownloadsAtOnce;

  // Takes a free slot; or, when none is free, queues `granted`, which is then run on the pool
  // with a slot handed to it.
  bool acquireOrWait(std::function<void()> granted);
  // Gives a slot back: to the loop that waited longest, if any.
  void release();
  // Runs `place` on the pool once every placement asked for before it has ended.
  Future<FailedPaths> inTurn(std::function<Future<FailedPaths>()> place);
  // Runs `download` once fewer than kDownloadsAtOnce run, first come, first served (on the pool
  // when it had to wait); its slot is free again once the future it returned has completed.
  Future<std::string> downloadInTurn(std::function<Future<std::string>()> download);

 private:
  void releaseDownload();

  std::mutex mutex_;
  int free_ = kItemsAtOnce;
  std::deque<std::function<void()>> waiting_;
  int freeDownloads_ = kDownloadsAtOnce;
  std::deque<Promise<Void>> waitingDownloads_;
  Future<Void> lastPlacement_ = Future<Void>::success(Void{});
};

}  // namespace tessellon
