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
  // Runs what is queued, then joins the workers.
  ~ThreadPool() override;

  void add(std::function<void()> work) override;
  size_t threadCount() const { return workers_.size(); }

  // The process-wide pool: at least 4 threads, twice the cores. It lives until
  // the process ends, so work still queued at exit is never run on freed state.
  static const std::shared_ptr<ThreadPool>& shared();

 private:
  void workerLoop();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> queue_;
  size_t idle_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace tessellon
