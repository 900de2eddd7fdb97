#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace tessellon {

// Runs work items at given instants, all on one thread of its own, however many are waiting.
// Work must be short and must not block (hand anything longer to a queue). An item cancelled
// before it started never runs; add() and cancel() may be called from any thread, also from
// an item.
class TimerQueue final {
 public:
  using Clock = std::chrono::steady_clock;
  using Id = uint64_t;

  TimerQueue();
  // Drops what has not run yet, then joins the thread; an item running then finishes first.
  ~TimerQueue();
  TimerQueue(const TimerQueue&) = delete;
  TimerQueue& operator=(const TimerQueue&) = delete;

  // Runs `work` at `when` (at once when it has passed); the id lets cancel() drop it.
  Id add(Clock::time_point when, std::function<void()> work);
  // True when the item was still waiting and now never runs; false once it started or ran.
  bool cancel(Id id);

  // The process-wide queue, created on first use and kept for the life of the process.
  static const std::shared_ptr<TimerQueue>& shared();

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable wake;
    // Keyed by instant, then id: the earliest item is first, ties in the order added.
    std::map<std::pair<Clock::time_point, Id>, std::function<void()>> items;
    std::map<Id, Clock::time_point> instants;
    Id nextId = 1;
    bool stopping = false;
  };
  static void run(const std::shared_ptr<State>& state);

  const std::shared_ptr<State> state_ = std::make_shared<State>();
  std::thread thread_;
};

}  // namespace tessellon
