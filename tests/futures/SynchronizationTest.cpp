#include <atomic>
#include <cstdlib>
#include <latch>
#include <memory>
#include <string>
#include <thread>
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

const struct LockKind {
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

class SynchronizationTest : public ::testing::Test {
 protected:
  void TearDown() override { GLOBAL_PARMS::LOCKING_STRATEGY = saved_; }

 private:
  const Type saved_ = GLOBAL_PARMS::LOCKING_STRATEGY.load();
};

TEST_F(SynchronizationTest, EveryCallReturnsTheBlockValueReleasesTheLockAndExcludesTheOthers) {
  for (const LockKind& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    std::shared_ptr<SynchronizationProtocol> lock = lockObject(kind.type);
    EXPECT_EQ(lock->lockAndModifySync([] { return 41; }), 41);
    EXPECT_EQ(lock->lockAndReadSync([] { return std::string("read"); }), "read");
    Promise<int> modified, read;
    Promise<Void> plain;
    lock->lockAndModifyAsync<int>([] { return 7; },
                                  [modified](int v) { modified.completeWithSuccess(v); });
    lock->lockAndReadAsync<int>([] { return 8; }, [read](int v) { read.completeWithSuccess(v); });
    lock->lockAndModify([plain] { plain.completeWithSuccess({}); });
    if (!kind.queue) {
      // The lock kinds are synchronous whatever the caller asks for.
      EXPECT_TRUE(modified.future.isCompleted() && read.future.isCompleted() &&
                  plain.future.isCompleted());
    }
    EXPECT_THAT(awaitResult(modified.future), SucceedsWith(7));
    EXPECT_THAT(awaitResult(read.future), SucceedsWith(8));
    EXPECT_THAT(awaitResult(plain.future), SucceedsWith(Void{}));
    // Taken again on a detached thread: a lock left held fails the wait instead of hanging.
    Promise<int> again;
    std::thread([lock, again] {
      again.completeWithSuccess(lock->lockAndModifySync([] { return 2; }));
    }).detach();
    EXPECT_THAT(awaitResult(again.future), SucceedsWith(2));

    if (kind.type == Type::unsafe) continue;
    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&] {
        for (int i = 0; i < 300; ++i) {
          lock->lockAndModifySync([&] { ++counter; });
          lock->lockAndReadSync([&] { return counter; });
        }
      });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(lock->lockAndReadSync([&] { return counter; }), 4 * 300)
        << "modifications overlapped";
  }
}

TEST_F(SynchronizationTest, ChainsCompleteUnderEveryStrategy) {
  for (const LockKind& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    GLOBAL_PARMS::LOCKING_STRATEGY = kind.type;
    // Unguarded futures are only safe on one thread.
    const bool unsafe = kind.type == Type::unsafe;
    const Executor executor = unsafe ? Executor::immediate() : Executor::defaultQoS();
    Promise<int> promise;
    const Future<std::string> last =
        promise.future.onSuccess(executor, [](int v) { return v + 1; })
            .onSuccess(executor, [](int v) { return std::to_string(v * 2); });
    unsafe ? promise.completeWithSuccess(4)
           : std::thread([promise] { promise.completeWithSuccess(4); }).join();
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
