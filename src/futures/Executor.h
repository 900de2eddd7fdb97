#pragma once

#include <functional>
#include <memory>

#include "futures/ExecutionQueue.h"
#include "futures/ManagedObjectContext.h"

namespace tessellon {

// Where a continuation runs. The named cases (primary, main, async, current,
// currentAsync, mainImmediate) are resolved to a concrete executor at the
// moment the continuation becomes ready, on the thread that completes the
// future:
// - primary, main, async: the executor stored in PrimaryExecutor,
//   MainExecutor, AsyncExecutor (initially current, mainImmediate, defaultQoS);
// - current: the executor of the continuation running on this thread; on a
//   thread without one, main on the main thread and async elsewhere;
// - currentAsync: current, with immediate forms replaced by asynchronous ones;
// - mainImmediate: immediate on the main thread, else mainAsync.
// All quality-of-service cases run on the shared thread pool.
class Executor {
 public:
  enum class Kind : int {
    queue,
    operationQueue,
    managedObjectContext,
    custom,
    primary,
    main,
    async,
    current,
    currentAsync,
    immediate,
    stackCheckingImmediate,
    mainAsync,
    mainImmediate,
    userInteractive,
    userInitiated,
    defaultQoS,  // the platform's "default" class; `default` is a keyword here
    utility,
    background,
  };

  static Executor queue(std::shared_ptr<ExecutionQueue> queue);
  static Executor operationQueue(std::shared_ptr<ExecutionQueue> queue);
  static Executor managedObjectContext(std::shared_ptr<ManagedObjectContext> context);
  static Executor custom(std::function<void(std::function<void()>)> handler);
  static Executor primary() { return Executor(Kind::primary); }
  static Executor main() { return Executor(Kind::main); }
  static Executor async() { return Executor(Kind::async); }
  static Executor current() { return Executor(Kind::current); }
  static Executor currentAsync() { return Executor(Kind::currentAsync); }
  static Executor immediate() { return Executor(Kind::immediate); }
  static Executor stackCheckingImmediate() { return Executor(Kind::stackCheckingImmediate); }
  static Executor mainAsync() { return Executor(Kind::mainAsync); }
  static Executor mainImmediate() { return Executor(Kind::mainImmediate); }
  static Executor userInteractive() { return Executor(Kind::userInteractive); }
  static Executor userInitiated() { return Executor(Kind::userInitiated); }
  static Executor defaultQoS() { return Executor(Kind::defaultQoS); }
  static Executor utility() { return Executor(Kind::utility); }
  static Executor background() { return Executor(Kind::background); }

  Kind kind() const { return kind_; }

  // The concrete executor this one stands for now, on this thread. Concrete
  // executors resolve to themselves.
  Executor resolve() const;

  // Runs `work` as the resolved executor says: at once for the immediate
  // kinds, otherwise as a work item that sees this executor as current.
  void execute(std::function<void()> work) const;

  // True for kinds that run work on the calling thread.
  bool isImmediate() const {
    return kind_ == Kind::immediate || kind_ == Kind::stackCheckingImmediate;
  }

  friend bool operator==(const Executor& a, const Executor& b) {
    return a.kind_ == b.kind_ && a.queue_ == b.queue_;
  }

 private:
  explicit Executor(Kind kind, std::shared_ptr<ExecutionQueue> queue = nullptr)
      : kind_(kind), queue_(std::move(queue)) {}
  Executor asyncForm() const;
  void dispatch(std::function<void()> work) const;

  Kind kind_;
  // The queue that dispatched kinds post to; empty for named and immediate kinds.
  std::shared_ptr<ExecutionQueue> queue_;
};

}  // namespace tessellon
