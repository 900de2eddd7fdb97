#include "restore/RestoreSlots.h"

#include <utility>

#include "futures/Executor.h"

namespace tessellon {

bool RestoreSlots::acquireOrWait(std::function<void()> granted) {
  std::lock_guard lock(mutex_);
  if (free_ > 0) {
    free_ -= 1;
    return true;
  }
  waiting_.push_back(std::move(granted));
  return false;
}

void RestoreSlots::release() {
  std::function<void()> next;
  {
    std::lock_guard lock(mutex_);
    if (waiting_.empty()) {
      free_ += 1;
      return;
    }
    next = std::move(waiting_.front());
    waiting_.pop_front();
  }
  Executor::defaultQoS().execute(std::move(next));
}

Future<RestoreSlots::FailedPaths> RestoreSlots::inTurn(std::function<Future<FailedPaths>()> place) {
  std::lock_guard lock(mutex_);
  Future<FailedPaths> placed = lastPlacement_.onComplete(
      Executor::defaultQoS(),
      [place = std::move(place)](const FutureResult<Void>&) { return place(); });
  lastPlacement_ = placed.onComplete(Executor::immediate(), [](const FutureResult<FailedPaths>&) {
    return FutureResult<Void>::success(Void{});
  });
  return placed;
}

Future<std::string> RestoreSlots::downloadInTurn(std::function<Future<std::string>()> download) {
  auto run = [self = shared_from_this(),
              download = std::move(download)](const FutureResult<Void>&) {
    return download().onComplete(Executor::immediate(),
                                 [self](const FutureResult<std::string>& result) {
                                   self->releaseDownload();
                                   return result;
                                 });
  };
  Promise<Void> granted;
  {
    std::lock_guard lock(mutex_);
    if (freeDownloads_ == 0) {
      waitingDownloads_.push_back(granted);
      return granted.future.onComplete(Executor::defaultQoS(), std::move(run));
    }
    freeDownloads_ -= 1;
  }
  return run(FutureResult<Void>::success(Void{}));
}

void RestoreSlots::releaseDownload() {
  Promise<Void> next;
  {
    std::lock_guard lock(mutex_);
    if (waitingDownloads_.empty()) {
      freeDownloads_ += 1;
      return;
    }
    next = std::move(waitingDownloads_.front());
    waitingDownloads_.pop_front();
  }
  next.completeWithSuccess(Void{});
}

}  // namespace tessellon
