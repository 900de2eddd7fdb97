#include "futures/Executor.h"

#include "futures/CurrentExecutor.h"
#include "futures/ExecutorSettings.h"
#include "futures/MainQueue.h"
#include "futures/ThreadPool.h"

namespace tessellon {
namespace {

// Deeper nesting than this moves stackCheckingImmediate work to the pool, so
// a synchronous chain cannot exhaust the stack.
constexpr int kMaxImmediateDepth = 64;
thread_local int tlImmediateTaskDepth = 0;

class CustomQueue final : public ExecutionQueue {
 public:
  explicit CustomQueue(std::function<void(std::function<void()>)> handler)
      : handler_(std::move(handler)) {}
  void add(std::function<void()> work) override { handler_(std::move(work)); }

 private:
  const std::function<void(std::function<void()>)> handler_;
};

class ContextQueue final : public ExecutionQueue {
 public:
  explicit ContextQueue(std::shared_ptr<ManagedObjectContext> context)
      : context_(std::move(context)) {}
  void add(std::function<void()> work) override { context_->perform(std::move(work)); }
  bool isMainQueueContext() const { return context_->isMainQueueContext(); }

 private:
  const std::shared_ptr<ManagedObjectContext> context_;
};

}  // namespace

Executor Executor::queue(std::shared_ptr<ExecutionQueue> queue) {
  return Executor(Kind::queue, std::move(queue));
}

Executor Executor::operationQueue(std::shared_ptr<ExecutionQueue> queue) {
  return Executor(Kind::operationQueue, std::move(queue));
}

Executor Executor::managedObjectContext(std::shared_ptr<ManagedObjectContext> context) {
  return Executor(Kind::managedObjectContext, std::make_shared<ContextQueue>(std::move(context)));
}

Executor Executor::custom(std::function<void(std::function<void()>)> handler) {
  return Executor(Kind::custom, std::make_shared<CustomQueue>(std::move(handler)));
}

Executor Executor::asyncForm() const {
  switch (kind_) {
    case Kind::immediate:
    case Kind::stackCheckingImmediate:
      return async();
    case Kind::mainImmediate:
      return mainAsync();
    case Kind::main:
      return MainExecutor::get().asyncForm();
    default:
      return *this;
  }
}

Executor Executor::resolve() const {
  Executor e = *this;
  // The settings may name each other; a bounded walk cannot loop forever.
  for (int step = 0; step < 8; ++step) {
    switch (e.kind_) {
      case Kind::primary:
        e = PrimaryExecutor::get();
        break;
      case Kind::main:
        e = MainExecutor::get();
        break;
      case Kind::async:
        e = AsyncExecutor::get();
        break;
      case Kind::current:
        if (const Executor* running = CurrentExecutor::get()) return *running;
        e = CurrentExecutor::isMainThread() ? main() : async();
        break;
      case Kind::currentAsync: {
        const Executor* running = CurrentExecutor::get();
        Executor base = running ? *running : CurrentExecutor::isMainThread() ? main() : async();
        Executor resolved = base.asyncForm().resolve();
        return resolved.isImmediate() ? defaultQoS() : resolved;
      }
      case Kind::mainImmediate:
        return CurrentExecutor::isMainThread() ? immediate() : mainAsync();
      case Kind::managedObjectContext:
        if (static_cast<const ContextQueue&>(*e.queue_).isMainQueueContext()) {
          e = main();
          break;
        }
        return e;
      default:
        return e;
    }
  }
  return defaultQoS();
}

void Executor::execute(std::function<void()> work) const {
  const Executor resolved = resolve();
  switch (resolved.kind_) {
    case Kind::immediate:
      work();
      return;
    case Kind::stackCheckingImmediate:
      if (tlImmediateTaskDepth >= kMaxImmediateDepth) {
        async().resolve().dispatch(std::move(work));
        return;
      }
      ++tlImmediateTaskDepth;
      work();
      --tlImmediateTaskDepth;
      return;
    default:
      resolved.dispatch(std::move(work));
  }
}

void Executor::dispatch(std::function<void()> work) const {
  ExecutionQueue* target = queue_.get();
  if (kind_ == Kind::mainAsync) {
    target = MainQueue::shared().get();
  } else if (!target) {
    target = ThreadPool::shared().get();  // the quality-of-service classes
  }
  target->add([executor = *this, work = std::move(work)] {
    CurrentExecutor::Scope scope(executor);
    work();
  });
}

}  // namespace tessellon
