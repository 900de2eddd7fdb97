#include "futures/SerialQueue.h"

namespace tessellon {

SerialQueue::SerialQueue(std::string label)
    : label_(std::move(label)), thread_([state = state_] { run(state); }) {
  threadId_ = thread_.get_id();
}

SerialQueue::~SerialQueue() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->wake.notify_one();
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

void SerialQueue::add(std::function<void()> work) {
  {
    std::lock_guard lock(state_->mutex);
    state_->queue.push_back(std::move(work));
  }
  state_->wake.notify_one();
}

void SerialQueue::run(const std::shared_ptr<State>& state) {
  std::unique_lock lock(state->mutex);
  for (;;) {
    state->wake.wait(lock, [&] { return !state->queue.empty() || state->stopping; });
    if (state->queue.empty()) return;
    std::function<void()> work = std::move(state->queue.front());
    state->queue.pop_front();
    lock.unlock();
    work();
    work = nullptr;
    lock.lock();
  }
}

}  // namespace tessellon
