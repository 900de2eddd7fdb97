#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace tessellon {

// A lock object guarding one future's state. The two requirements run a block
// with exclusive (modify) or shared (read) access and then call `then`; the
// mutex kinds do both synchronously on the calling thread, the queue kinds
// honour `waitUntilDone`. Blocks must not take the same lock again.
class SynchronizationProtocol {
 public:
  SynchronizationProtocol() = default;
  virtual ~SynchronizationProtocol() = default;
  SynchronizationProtocol(const SynchronizationProtocol&) = delete;
  SynchronizationProtocol& operator=(const SynchronizationProtocol&) = delete;

  virtual void lockAndModify(bool waitUntilDone, std::function<void()> modifyBlock,
                             std::function<void()> then) = 0;
  virtual void lockAndRead(bool waitUntilDone, std::function<void()> readBlock,
                           std::function<void()> then) = 0;

  void lockAndModify(std::function<void()> modifyBlock) {
    lockAndModify(false, std::move(modifyBlock), [] {});
  }
  void lockAndRead(std::function<void()> readBlock) {
    lockAndRead(false, std::move(readBlock), [] {});
  }

  // Runs `block` under the lock and returns its result to the caller.
  template <class F>
  std::invoke_result_t<F&> lockAndModifySync(F&& block) {
    return runSync(true, std::forward<F>(block));
  }
  template <class F>
  std::invoke_result_t<F&> lockAndReadSync(F&& block) {
    return runSync(false, std::forward<F>(block));
  }

  // Runs `block` under the lock, then `then` with its result; for the queue
  // kinds both may happen later on the queue.
  template <class T>
  void lockAndModifyAsync(std::function<T()> modifyBlock, std::function<void(T)> then) {
    runAsync(true, std::move(modifyBlock), std::move(then));
  }
  template <class T>
  void lockAndReadAsync(std::function<T()> readBlock, std::function<void(T)> then) {
    runAsync(false, std::move(readBlock), std::move(then));
  }

 private:
  template <class T>
  void runAsync(bool modify, std::function<T()> block, std::function<void(T)> then) {
    auto result = std::make_shared<std::optional<T>>();
    std::function<void()> run = [result, block = std::move(block)] { result->emplace(block()); };
    std::function<void()> done = [result, then = std::move(then)] { then(std::move(**result)); };
    modify ? lockAndModify(false, std::move(run), std::move(done))
           : lockAndRead(false, std::move(run), std::move(done));
  }
  template <class F>
  std::invoke_result_t<F&> runSync(bool modify, F&& block) {
    using R = std::invoke_result_t<F&>;
    if constexpr (std::is_void_v<R>) {
      std::function<void()> run = [&block] { block(); };
      modify ? lockAndModify(true, std::move(run), {}) : lockAndRead(true, std::move(run), {});
    } else {
      std::optional<R> out;
      std::function<void()> run = [&block, &out] { out.emplace(block()); };
      modify ? lockAndModify(true, std::move(run), {}) : lockAndRead(true, std::move(run), {});
      return std::move(*out);
    }
  }
};

}  // namespace tessellon
