#include "futures/Executor.h"

#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "futures/CurrentExecutor.h"
#include "futures/ExecutorSettings.h"
#include "futures/Future.h"
#include "futures/MainQueue.h"
#include "support/AwaitResult.h"
#include "support/ErrorMatchers.h"
#include "support/ManualExecutor.h"

namespace tessellon {
namespace {

using Kind = Executor::Kind;
using ::testing::ElementsAre;

enum class Where { inlineOnCompleter, mainQueue, pool };
// Where a continuation ran and what it saw as its running executor.
using Observation = std::pair<Where, std::optional<Kind>>;

// A host context whose perform() queues work until the test drains it.
class QueuedContext final : public ManagedObjectContext {
 public:
  explicit QueuedContext(bool mainQueue) : mainQueue_(mainQueue) {}
  void perform(std::function<void()> work) override { queue->add(std::move(work)); }
  bool isMainQueueContext() const override { return mainQueue_; }
  const std::shared_ptr<ManualExecutor> queue = ManualExecutor::make();

 private:
  const bool mainQueue_;
};

// Restores the process-wide settings.
class ExecutorTest : public ::testing::Test {
 protected:
  void SetUp() override { MainQueue::shared()->drain(); }
  void TearDown() override {
    PrimaryExecutor::set(primary_);
    MainExecutor::set(main_);
    AsyncExecutor::set(async_);
    MainQueue::shared()->drain();
  }

  // Completes a promise on the main thread or on a new thread and reports
  // where a continuation on `executor` ran.
  static std::optional<Observation> observe(const Executor& executor, bool onMainThread) {
    Promise<int> promise;
    const auto seen = promise.future.onSuccess(executor, [](int) {
      const Executor* current = CurrentExecutor::get();
      return std::pair(std::this_thread::get_id(),
                       current ? std::optional(current->kind()) : std::nullopt);
    });
    std::thread::id completer = std::this_thread::get_id();
    if (onMainThread) {
      promise.completeWithSuccess(1);
    } else {
      std::thread thread([promise] { promise.completeWithSuccess(1); });
      completer = thread.get_id();
      thread.join();
    }
    const size_t drained = MainQueue::shared()->drain();
    const auto result = awaitResult(seen);
    if (!result || !result->isSuccess()) return std::nullopt;
    const auto& [thread, current] = result->successValue();
    if (drained > 0 && thread == std::this_thread::get_id())
      return Observation{Where::mainQueue, current};
    return Observation{thread == completer ? Where::inlineOnCompleter : Where::pool, current};
  }

 private:
  const Executor primary_ = PrimaryExecutor::get();
  const Executor main_ = MainExecutor::get();
  const Executor async_ = AsyncExecutor::get();
};

TEST_F(ExecutorTest, NamedExecutorsResolveByTheCompletingThread) {
  const Observation inlined{Where::inlineOnCompleter, std::nullopt};
  const Observation mainQueue{Where::mainQueue, Kind::mainAsync};
  const auto pool = [](Kind kind) { return Observation{Where::pool, kind}; };
  const Observation onDefault = pool(Kind::defaultQoS);
  const struct {
    std::string name;
    Executor executor;
    Observation onMain, elsewhere;
  } rows[] = {
      {"immediate", Executor::immediate(), inlined, inlined},
      {"stackCheckingImmediate", Executor::stackCheckingImmediate(), inlined, inlined},
      {"mainImmediate", Executor::mainImmediate(), inlined, mainQueue},
      {"main", Executor::main(), inlined, mainQueue},
      {"mainAsync", Executor::mainAsync(), mainQueue, mainQueue},
      {"async", Executor::async(), onDefault, onDefault},
      {"current", Executor::current(), inlined, onDefault},
      {"primary", Executor::primary(), inlined, onDefault},
      {"currentAsync", Executor::currentAsync(), mainQueue, onDefault},
      {"defaultQoS", Executor::defaultQoS(), onDefault, onDefault},
      {"background", Executor::background(), pool(Kind::background), pool(Kind::background)},
  };
  for (const auto& row : rows) {
    for (const bool onMain : {true, false}) {
      SCOPED_TRACE(row.name + (onMain ? " on the main thread" : " on another thread"));
      EXPECT_EQ(observe(row.executor, onMain), onMain ? row.onMain : row.elsewhere);
    }
  }
}

TEST_F(ExecutorTest, CurrentPrimaryAndCurrentAsyncFollowTheQueueOrCustomExecutorTheyRunOn) {
  auto manual = ManualExecutor::make();
  const Executor custom =
      Executor::custom([manual](std::function<void()> work) { manual->add(std::move(work)); });
  for (const Executor& running : {manual->executor(), custom}) {
    SCOPED_TRACE(static_cast<int>(running.kind()));
    std::vector<std::string> ran;
    auto note = [&ran, kind = running.kind()](std::string name) {
      return [&ran, kind, name](int) {
        const Executor* current = CurrentExecutor::get();
        ran.push_back(name + (current && current->kind() == kind ? " followed" : " strayed"));
      };
    };
    Promise<int> outer;
    outer.future
        .onSuccess(running,
                   [&](int) {
                     Promise<int> inner;
                     inner.future.onSuccess(Executor::current(), note("current"));
                     inner.future.onSuccess(Executor::primary(), note("primary"));
                     inner.future.onSuccess(Executor::currentAsync(), note("currentAsync"));
                     inner.completeWithSuccess(2);
                     return 1;
                   })
        .onSuccess(Executor::current(), note("chained current"));
    outer.completeWithSuccess(1);
    EXPECT_EQ(manual->drain(), 5U) << "a block ran inline instead of on the executor it followed";
    EXPECT_EQ(CurrentExecutor::get(), nullptr) << "the running executor leaked out of its item";
    EXPECT_THAT(ran, ElementsAre("current followed", "primary followed", "currentAsync followed",
                                 "chained current followed"));
  }
}

TEST_F(ExecutorTest, ManagedObjectContextRunsBlocksInItsPerformUnlessBoundToMain) {
  auto privateContext = std::make_shared<QueuedContext>(false);
  const Future<int> onContext = Future<int>::success(1).onSuccess(
      Executor::managedObjectContext(privateContext), [](int v) { return v + 1; });
  EXPECT_FALSE(onContext.isCompleted());
  EXPECT_EQ(privateContext->queue->drain(), 1U);
  EXPECT_THAT(onContext, SucceedsWith(2));

  auto mainContext = std::make_shared<QueuedContext>(true);
  const auto onMain = observe(Executor::managedObjectContext(mainContext), true);
  const auto elsewhere = observe(Executor::managedObjectContext(mainContext), false);
  ASSERT_TRUE(onMain && elsewhere);
  EXPECT_EQ(onMain->first, Where::inlineOnCompleter);
  EXPECT_EQ(elsewhere->first, Where::mainQueue);
  EXPECT_EQ(mainContext->queue->pending(), 0U);
}

TEST_F(ExecutorTest, StoredSettingsChangeWhereNamedExecutorsRun) {
  PrimaryExecutor::set(Executor::mainAsync());
  MainExecutor::set(Executor::mainAsync());
  for (const Executor& named : {Executor::primary(), Executor::main()}) {
    SCOPED_TRACE(static_cast<int>(named.kind()));
    const auto seen = observe(named, true);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->first, Where::mainQueue);
  }

  auto manual = ManualExecutor::make();
  AsyncExecutor::set(manual->executor());
  Promise<int> promise;
  const Future<int> viaAsync =
      promise.future.onSuccess(Executor::current(), [](int v) { return v; });
  std::thread([promise] { promise.completeWithSuccess(5); }).join();
  EXPECT_EQ(manual->drain(), 1U);
  EXPECT_THAT(viaAsync, SucceedsWith(5));
}

}  // namespace
}  // namespace tessellon
