#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace tessellon::fuzz {

// One thread that runs closures after a delay, in due order: the "later, from another thread"
// answers of ScriptedDelegate. stop() runs whatever is still queued at once and joins, so an
// execution of the fuzzer never leaves a thread or an answer behind.
class DelayedQueue {
 public:
  DelayedQueue();
  ~DelayedQueue();

  DelayedQueue(const DelayedQueue&) = delete;
  DelayedQueue& operator=(const DelayedQueue&) = delete;

  // After stop(), runs `action` on the calling thread instead.
  void post(std::chrono::milliseconds delay, std::function<void()> action);
  void stop();

 private:
  void loop();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::multimap<std::chrono::steady_clock::time_point, std::function<void()>> due_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace tessellon::fuzz
