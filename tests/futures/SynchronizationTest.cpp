#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <latch>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "futures/Future.h"
#include "futures/ThreadPool.h"
#include "futures/sync/SynchronizationType.h"
#include "support/AwaitResult.h"
#include "support/ErrorMatchers.h"

namespace tessellon {
namespace {

using Type = SynchronizationType;

const struct Kind {
  const char* name;
  Type type;
  bool queue;  // blocks run as items of a queue rather than on the caller's thread
} kKinds[] = {
    {"barrierConcurrent", Type::barrierConcurrent, true},
    {"barrierSerial", Type::barrierSerial, true},
    {"serialQueue", Type::serialQueue, true},
    {"nsObjectLock", Type::nsObjectLock, false},
    {"nsLock", Type::nsLock, false},
    {"nsRecursiveLock", Type::nsRecursiveLock, false},
    {"pThreadMutex", Type::pThreadMutex, false},
    {"unsafe", Type::unsafe, false},
};

// Runs `block` on a detached thread: a lock left held makes the test fail
// after the timeout instead of hanging it.
template <class T>
Future<T> onOtherThread(std::function<T()> block) {
  Promise<T> promise;
  std::thread([promise, block = std::move(block)] {
    promise.completeWithSuccess(block());
  }).detach();
  return promise.future;
}

// A value whose first copy after arm() blocks until release(). Reading a
// future's result copies it under the future's lock, so that lock stays taken
// meanwhile.
class Gate {
 public:
  struct Value {
    explicit Value(std::shared_ptr<Gate> g) : gate(std::move(g)) {}
    Value(const Value& other) : gate(other.gate) { gate->hold(); }
    Value(Value&&) = default;
    std::shared_ptr<Gate> gate;
  };

  void arm() {
    std::lock_guard lock(mutex_);
    armed_ = true;
  }
  void awaitHolding() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return holding_; });
  }
  void release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  void hold() {
    std::unique_lock lock(mutex_);
    if (!std::exchange(armed_, false)) return;
    holding_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return released_; });
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool armed_ = false, holding_ = false, released_ = false;
};

// True when isCompleted() returns while another thread's result() is held up
// inside the future's lock.
bool readsWhileLocked(const Promise<Gate::Value>& promise) {
  auto gate = std::make_shared<Gate>();
  promise.completeWithSuccess(Gate::Value(gate));
  gate->arm();
  std::thread holder([future = promise.future] { (void)future.result(); });
  gate->awaitHolding();
  Promise<Void> read;
  std::thread reader([future = promise.future, read] {
    (void)future.isCompleted();
    read.completeWithSuccess({});
  });
  // A guarded read never returns before the release, so the short wait cannot misjudge it.
  const bool returned = awaitResult(read.future, std::chrono::milliseconds(200)).has_value();
  gate->release();
  holder.join();
  reader.join();
  return returned;
}

class SynchronizationTest : public ::testing::Test {
 protected:
  void TearDown() override { GLOBAL_PARMS::LOCKING_STRATEGY = saved_; }

 private:
  const Type saved_ = GLOBAL_PARMS::LOCKING_STRATEGY.load();
};

TEST_F(SynchronizationTest, SyncCallsReturnTheBlockValueAndReleaseTheLock) {
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    std::shared_ptr<SynchronizationProtocol> lock = lockObject(kind.type);
    EXPECT_EQ(lock->lockAndModifySync([] { return 41; }), 41);
    EXPECT_EQ(lock->lockAndReadSync([] { return std::string("read"); }), "read");
    EXPECT_THAT(awaitResult(onOtherThread<int>(
                    [lock] { return lock->lockAndModifySync([] { return 2; }); })),
                SucceedsWith(2));
  }
}

TEST_F(SynchronizationTest, ModificationsExcludeEachOther) {
  constexpr int kThreads = 4;
  constexpr int kIncrements = 300;
  for (const Kind& kind : kKinds) {
    if (kind.type == Type::unsafe) continue;
    SCOPED_TRACE(kind.name);
    std::unique_ptr<SynchronizationProtocol> lock = lockObject(kind.type);
    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&] {
        for (int i = 0; i < kIncrements; ++i) {
          lock->lockAndModifySync([&] { ++counter; });
          lock->lockAndReadSync([&] { return counter; });
        }
      });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(lock->lockAndReadSync([&] { return counter; }), kThreads * kIncrements);
  }
}

TEST_F(SynchronizationTest, AsyncVariantsRunThenWithTheBlockResult) {
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    std::unique_ptr<SynchronizationProtocol> lock = lockObject(kind.type);
    Promise<int> modified, read;
    Promise<Void> plain;
    lock->lockAndModifyAsync<int>([] { return 7; },
                                  [modified](int v) { modified.completeWithSuccess(v); });
    lock->lockAndReadAsync<int>([] { return 8; }, [read](int v) { read.completeWithSuccess(v); });
    lock->lockAndModify([plain] { plain.completeWithSuccess({}); });
    if (!kind.queue) {
      // The lock kinds are synchronous whatever the caller asks for.
      EXPECT_TRUE(modified.future.isCompleted());
      EXPECT_TRUE(read.future.isCompleted());
      EXPECT_TRUE(plain.future.isCompleted());
    }
    EXPECT_THAT(awaitResult(modified.future), SucceedsWith(7));
    EXPECT_THAT(awaitResult(read.future), SucceedsWith(8));
    EXPECT_THAT(awaitResult(plain.future), SucceedsWith(Void{}));
  }
}

TEST_F(SynchronizationTest, AFutureKeepsTheLockKindOfItsCreation) {
  GLOBAL_PARMS::LOCKING_STRATEGY = Type::unsafe;
  const Promise<Gate::Value> unguarded;
  GLOBAL_PARMS::LOCKING_STRATEGY = Type::pThreadMutex;
  const Promise<Gate::Value> guarded;

  EXPECT_TRUE(readsWhileLocked(unguarded));
  EXPECT_FALSE(readsWhileLocked(guarded));
}

TEST_F(SynchronizationTest, ChainsCompleteUnderEveryStrategy) {
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    GLOBAL_PARMS::LOCKING_STRATEGY = kind.type;
    // Unguarded futures are only safe on one thread.
    const Executor executor =
        kind.type == Type::unsafe ? Executor::immediate() : Executor::defaultQoS();
    Promise<int> promise;
    const Future<std::string> last =
        promise.future.onSuccess(executor, [](int v) { return v + 1; })
            .onSuccess(executor, [](int v) { return v * 2; })
            .onSuccess(executor, [](int v) { return std::to_string(v); });
    if (kind.type == Type::unsafe) {
      promise.completeWithSuccess(4);
    } else {
      std::thread([promise] { promise.completeWithSuccess(4); }).join();
    }
    EXPECT_THAT(awaitResult(last), SucceedsWith("10"));
  }
}

TEST_F(SynchronizationTest, QueueKindFuturesUsedOnEveryPoolThreadDoNotStarveThePool) {
  // In a child process: a starved shared pool would stay stuck for every later test.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        // Made under the default strategy, so awaiting it needs no pool thread.
        Promise<Void> allDone;
        GLOBAL_PARMS::LOCKING_STRATEGY = Type::serialQueue;
        // One job per pool thread, each starting its lock work only once every
        // thread is taken, so no idle thread is left to run a queued lock item.
        const size_t jobs = ThreadPool::shared()->threadCount();
        auto allStarted = std::make_shared<std::latch>(static_cast<std::ptrdiff_t>(jobs));
        auto remaining = std::make_shared<std::atomic<size_t>>(jobs);
        for (size_t i = 0; i < jobs; ++i) {
          ThreadPool::shared()->add([allDone, allStarted, remaining] {
            allStarted->arrive_and_wait();
            Promise<int> promise;
            promise.completeWithSuccess(1);
            (void)promise.future.result();
            if (--*remaining == 0) allDone.completeWithSuccess({});
          });
        }
        std::exit(awaitResult(allDone.future) ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tessellon
