#pragma once

#include <functional>

namespace tessellon {

// Something that runs work items: a thread pool, a serial queue, a host's
// context. Implementations must accept add() from any thread.
class ExecutionQueue {
 public:
  ExecutionQueue() = default;
  virtual ~ExecutionQueue() = default;
  ExecutionQueue(const ExecutionQueue&) = delete;
  ExecutionQueue& operator=(const ExecutionQueue&) = delete;

  // Runs `work` later, never on the calling stack.
  virtual void add(std::function<void()> work) = 0;
};

}  // namespace tessellon
