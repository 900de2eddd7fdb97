#include "futures/TimerQueue.h"

namespace tessellon {

TimerQueue::TimerQueue() : thread_([state = state_] { run(state); }) {}

TimerQueue::~TimerQueue() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
    state_->items.clear();
    state_->instants.clear();
  }
  state_->wake.notify_one();
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

TimerQueue::Id TimerQueue::add(Clock::time_point when, std::function<void()> work) {
  Id id = 0;
  bool earliest = false;
  {
    std::lock_guard lock(state_->mutex);
    id = state_->nextId++;
    auto placed = state_->items.emplace(std::pair(when, id), std::move(work)).first;
    state_->instants.emplace(id, when);
    earliest = placed == state_->items.begin();
  }
  // Only a new earliest item changes how long the thread sleeps.
  if (earliest) state_->wake.notify_one();
  return id;
}

bool TimerQueue::cancel(Id id) {
  std::function<void()> dropped;  // released outside the lock: it may own anything
  std::lock_guard lock(state_->mutex);
  const auto instant = state_->instants.find(id);
  if (instant == state_->instants.end()) return false;
  const auto item = state_->items.find(std::pair(instant->second, id));
  dropped = std::move(item->second);
  state_->items.erase(item);
  state_->instants.erase(instant);
  return true;
}

void TimerQueue::run(const std::shared_ptr<State>& state) {
  std::unique_lock lock(state->mutex);
  while (!state->stopping) {
    if (state->items.empty()) {
      state->wake.wait(lock);
      continue;
    }
    const auto first = state->items.begin();
    const Clock::time_point when = first->first.first;
    if (Clock::now() < when) {
      state->wake.wait_until(lock, when);
      continue;
    }
    std::function<void()> work = std::move(first->second);
    state->instants.erase(first->first.second);
    state->items.erase(first);
    lock.unlock();
    work();
    work = nullptr;
    lock.lock();
  }
}

const std::shared_ptr<TimerQueue>& TimerQueue::shared() {
  // Never destroyed: work queued at exit must not run on freed state.
  static const auto* queue = new std::shared_ptr<TimerQueue>(std::make_shared<TimerQueue>());
  return *queue;
}

}  // namespace tessellon
