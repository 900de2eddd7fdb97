#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "futures/Future.h"
#include "futures/Promise.h"

namespace tessellon {

// The requests that change the remote which the host has been handed and not yet answered. A
// cancelled request completes at once for the library, yet the host may still finish it: a run
// must not let its folder go while such a write can land. Every method may be called from any
// thread. Create with std::make_shared.
class OpenWrites : public std::enable_shared_from_this<OpenWrites> {
 public:
  // The mark of the next write opened; see answeredBetween.
  uint64_t mark() const;
  // Counts a write as handed to the host. The returned callable counts it as answered; later
  // calls change nothing.
  std::function<void()> open();
  // Completes with true on the background queue once every write opened from mark `from` up to
  // mark `to` has been answered, or with false once `grace` has passed first.
  Future<bool> answeredBetween(uint64_t from, uint64_t to, std::chrono::milliseconds grace);

 private:
  struct Waiter {
    uint64_t from;
    uint64_t to;
    Promise<bool> promise;
  };

  void close(uint64_t serial);
  // Whether no write from `from` up to `to` is open. Called with mutex_ held.
  bool quiet(uint64_t from, uint64_t to) const;

  mutable std::mutex mutex_;
  uint64_t next_ = 0;
  std::set<uint64_t> open_;
  std::vector<Waiter> waiters_;
};

}  // namespace tessellon
