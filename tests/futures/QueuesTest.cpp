#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <memory>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "futures/DispatchQueue.h"
#include "futures/Future.h"
#include "futures/SerialQueue.h"
#include "futures/ThreadPool.h"
#include "futures/TimerQueue.h"
#include "support/AwaitResult.h"
#include "support/ErrorMatchers.h"

namespace tessellon {
namespace {

using ::testing::ElementsAreArray;

// Notes whether two items ever ran at once.
struct OverlapDetector {
  void enter() {
    if (++running > 1) overlapped = true;
  }
  void leave() { --running; }
  std::atomic<int> running{0};
  std::atomic<bool> overlapped{false};
};

// A pool of the suite's own, so a starved shared pool cannot mask or cause a
// failure. Never destroyed: see APoolReleasedByItsOwnWorkItemShutsDown.
const std::shared_ptr<ThreadPool>& privatePool() {
  static const auto* pool = new std::shared_ptr<ThreadPool>(std::make_shared<ThreadPool>(4));
  return *pool;
}

TEST(QueuesTest, SerialQueuesRunItemsOneAtATimeInOrder) {
  constexpr int kItems = 2000;
  std::vector<int> expected(kItems);
  std::iota(expected.begin(), expected.end(), 0);
  const std::pair<std::string, std::shared_ptr<ExecutionQueue>> queues[] = {
      {"SerialQueue", std::make_shared<SerialQueue>("test")},
      {"serial DispatchQueue", DispatchQueue::make(DispatchQueue::Kind::serial, "", privatePool())},
  };
  for (const auto& [name, queue] : queues) {
    SCOPED_TRACE(name);
    std::vector<int> order;
    OverlapDetector overlap;
    Promise<Void> done;
    for (int i = 0; i < kItems; ++i) {
      queue->add([&, i] {
        overlap.enter();
        order.push_back(i);
        overlap.leave();
      });
    }
    queue->add([done] { done.completeWithSuccess({}); });
    ASSERT_THAT(awaitResult(done.future), SucceedsWith(Void{}));
    EXPECT_THAT(order, ElementsAreArray(expected));
    EXPECT_FALSE(overlap.overlapped);
  }
}

TEST(QueuesTest, ThreadPoolRunsEveryItemAddedFromAnyThread) {
  constexpr int kProducers = 4;
  constexpr int kItemsEach = 500;
  std::atomic<int> ran{0};
  {
    ThreadPool pool(3);
    std::vector<std::thread> producers;
    for (int t = 0; t < kProducers; ++t) {
      producers.emplace_back([&] {
        for (int i = 0; i < kItemsEach; ++i) pool.add([&] { ++ran; });
      });
    }
    for (auto& producer : producers) producer.join();
  }  // the destructor runs what is still queued
  EXPECT_EQ(ran.load(), kProducers * kItemsEach);
}

TEST(QueuesTest, APoolReleasedByItsOwnWorkItemShutsDown) {
  // A DispatchQueue's items keep the queue, and so its target pool, alive: when
  // the queue outlives its other owners, the pool dies on one of its workers.
  // In a child process, since the failure is a crash.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        auto pool = std::make_shared<ThreadPool>(2);
        Promise<Void> handedOver;
        Promise<Void> released;
        pool->add([last = pool, handedOver, released]() mutable {
          handedOver.future.waitUntilCompleted();
          last.reset();
          released.completeWithSuccess({});
        });
        pool.reset();
        handedOver.completeWithSuccess({});
        std::exit(awaitResult(released.future) ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(DispatchQueueTest, ConcurrentQueueRunsOrdinaryItemsSideBySide) {
  auto queue = DispatchQueue::make(DispatchQueue::Kind::concurrent, "", privatePool());
  std::mutex mutex;
  std::condition_variable changed;
  int started = 0;
  bool bothSeen[2] = {false, false};
  for (int i = 0; i < 2; ++i) {
    queue->async([&, i] {
      std::unique_lock lock(mutex);
      ++started;
      changed.notify_all();
      // Each item waits for the other: only a queue that runs them at once lets both through.
      bothSeen[i] = changed.wait_for(lock, std::chrono::seconds(10), [&] { return started == 2; });
    });
  }
  queue->syncBarrier([] {});
  std::lock_guard lock(mutex);
  EXPECT_TRUE(bothSeen[0] && bothSeen[1]);
}

TEST(DispatchQueueTest, BarrierRunsAloneAfterEarlierItemsAndBeforeLaterOnes) {
  constexpr int kItems = 600;
  constexpr int kBarrierEvery = 7;
  auto queue = DispatchQueue::make(DispatchQueue::Kind::concurrent, "", privatePool());
  std::vector<std::atomic<bool>> finished(kItems);
  std::atomic<int> violatingItem{-1};
  OverlapDetector overlap;
  for (int i = 0; i < kItems; ++i) {
    const bool barrier = i % kBarrierEvery == 0;
    auto item = [&, i, barrier] {
      overlap.enter();
      bool ok = finished[i - i % kBarrierEvery] || barrier;
      for (int j = 0; barrier && j < i; ++j) ok = ok && finished[j];
      if (!ok || (barrier && overlap.running != 1)) violatingItem = i;
      finished[i] = true;
      overlap.leave();
    };
    barrier ? queue->asyncBarrier(item) : queue->async(item);
  }
  queue->syncBarrier([] {});
  EXPECT_EQ(violatingItem.load(), -1) << "a barrier overlapped or overtook another item";
  EXPECT_TRUE(std::all_of(finished.begin(), finished.end(), [](auto& f) { return f.load(); }));
}

TEST(DispatchQueueTest, SyncCallsReturnOnlyAfterTheirItemAndEarlierBarriersRan) {
  for (const auto kind : {DispatchQueue::Kind::serial, DispatchQueue::Kind::concurrent}) {
    SCOPED_TRACE(kind == DispatchQueue::Kind::serial ? "serial" : "concurrent");
    auto queue = DispatchQueue::make(kind, "", privatePool());
    int value = 0;
    queue->async([&] { value = 1; });
    queue->syncBarrier([&] { value *= 10; });
    EXPECT_EQ(value, 10);
    queue->sync([&] { ++value; });
    EXPECT_EQ(value, 11);
  }
}

TEST(TimerQueueTest, ItemsRunByTheirInstantAndCancelledOnesNever) {
  TimerQueue timers;
  const auto start = TimerQueue::Clock::now();
  std::mutex mutex;
  std::vector<int> ran;
  std::promise<void> last;
  const auto note = [&](int n) {
    std::lock_guard lock(mutex);
    ran.push_back(n);
  };
  // Added out of order; one cancels a later one from inside its item.
  std::atomic<TimerQueue::Id> dropped{0};
  timers.add(start + std::chrono::milliseconds(60), [&] {
    note(3);
    last.set_value();
  });
  timers.add(start + std::chrono::milliseconds(20), [&] {
    note(2);
    EXPECT_TRUE(timers.cancel(dropped));
  });
  dropped = timers.add(start + std::chrono::milliseconds(40), [&] { note(99); });
  const TimerQueue::Id never = timers.add(start + std::chrono::hours(1), [&] { note(98); });
  timers.add(start - std::chrono::seconds(1), [&] { note(1); });
  EXPECT_TRUE(timers.cancel(never));
  EXPECT_FALSE(timers.cancel(never));

  ASSERT_EQ(last.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
  std::lock_guard lock(mutex);
  EXPECT_THAT(ran, ::testing::ElementsAre(1, 2, 3));
}

}  // namespace
}  // namespace tessellon
