#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "futures/Future.h"

namespace tessellon {

// What the image and the video restore over one remote share: kItemsAtOnce slots, with the loops
// waiting for one served first come, first served, and the turn in which downloaded files are
// placed. Made once by the container for both services. Thread-safe.
class RestoreSlots {
 public:
  using FailedPaths = std::vector<std::string>;

  // Items restored at once, all categories together; as many downloads may run side by side.
  static constexpr int kItemsAtOnce = 4;

  // Takes a free slot; or, when none is free, queues `granted`, which is then run on the pool
  // with a slot handed to it.
  bool acquireOrWait(std::function<void()> granted);
  // Gives a slot back: to the loop that waited longest, if any.
  void release();
  // Runs `place` on the pool once every placement asked for before it has ended.
  Future<FailedPaths> inTurn(std::function<Future<FailedPaths>()> place);

 private:
  std::mutex mutex_;
  int free_ = kItemsAtOnce;
  std::deque<std::function<void()>> waiting_;
  Future<Void> lastPlacement_ = Future<Void>::success(Void{});
};

}  // namespace tessellon
