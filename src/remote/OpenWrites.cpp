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

Future<bool> OpenWrites::answeredBetween(uint64_t from, uint64_t to,
                                         std::chrono::milliseconds grace) {
  Promise<bool> promise;
  {
    std::lock_guard lock(mutex_);
    if (!quiet(from, to)) {
      waiters_.push_back({from, to, promise});
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
      if (!quiet(waiter.from, waiter.to)) return false;
      done.push_back(waiter.promise);
      return true;
    });
  }
  for (Promise<bool>& promise : done) {
    Async::background([promise] { promise.completeWithSuccess(true); });
  }
}

bool OpenWrites::quiet(uint64_t from, uint64_t to) const {
  const auto first = open_.lower_bound(from);
  return first == open_.end() || *first >= to;
}

}  // namespace tessellon
