#include "remote/OpenWrites.h"

#include <utility>

#include "core/Async.h"
#include "futures/TimerQueue.h"

namespace tessellon {

uint64_t OpenWrites::mark() const {
  std::lock_guard lock(mutex_);
  return next_;
}

std::function<void()> OpenWrites::open() {
  uint64_t serial = 0;
  {
    std::lock_guard lock(mutex_);
    serial = next_++;
    open_.insert(serial);
  }
  // Closing twice is harmless: the serial is gone after the first.
  return [weak = weak_from_this(), serial] {
    if (auto self = weak.lock()) self->close(serial);
  };
}

Future<bool> OpenWrites::answeredSince(uint64_t mark, std::chrono::milliseconds grace) {
  Promise<bool> promise;
  {
    std::lock_guard lock(mutex_);
    if (!quietSince(mark)) {
      waiters_.push_back({mark, promise});
      (void)TimerQueue::shared()->add(TimerQueue::Clock::now() + grace, [promise] {
        Async::background([promise] { promise.completeWithSuccess(false); });
      });
      return promise.future;
    }
  }
  Async::background([promise] { promise.completeWithSuccess(true); });
  return promise.future;
}

void OpenWrites::close(uint64_t serial) {
  std::vector<Promise<bool>> done;
  {
    std::lock_guard lock(mutex_);
    open_.erase(serial);
    std::erase_if(waiters_, [&](const Waiter& waiter) {
      // A waiter whose grace has ended was answered already.
      if (waiter.promise.future.isCompleted()) return true;
      if (!quietSince(waiter.mark)) return false;
      done.push_back(waiter.promise);
      return true;
    });
  }
  for (Promise<bool>& promise : done) {
    Async::background([promise] { promise.completeWithSuccess(true); });
  }
}

bool OpenWrites::quietSince(uint64_t mark) const { return open_.lower_bound(mark) == open_.end(); }

}  // namespace tessellon
