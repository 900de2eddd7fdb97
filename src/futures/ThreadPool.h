#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "futures/ExecutionQueue.h"

namespace tessellon {

// A fixed set of worker threads taking work from one FIFO. The global queues
// (default, utility, ...) all run on shared(). Work items must not throw.
class ThreadPool final : public ExecutionQueue {
 public:
  explicit ThreadPool(size_t threadCount);
  // Runs what is queued, then joins the workers. A pool may be released by
  // one of its own work items: that worker finishes on its own.
  ~ThreadPool() override;

  void add(std::function<void()> work) override;
  size_t threadCount() const { return workers_.size(); }

  // The process-wide pool: at least 4 threads, twice the cores. It lives until
  // the process ends, so work still queued at exit is never run on freed state.
  static const std::shared_ptr<ThreadPool>& shared();

 private:
  // Shared with the workers, so a worker outliving the pool object stays valid.
  struct State {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> queue;
    size_t idle = 0;
    bool stopping = false;
  };
  static void workerLoop(const std::shared_ptr<State>& state);

  const std::shared_ptr<State> state_ = std::make_shared<State>();
  std::vector<std::thread> workers_;
};

}  // namespace tessellon
