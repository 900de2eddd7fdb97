#include "futures/detail/Trampoline.h"

#include <deque>
#include <vector>

#include "futures/CurrentExecutor.h"

namespace tessellon::detail {
namespace {

// Completions nest naturally (a follow-up runs before complete() returns) up
// to this depth; deeper ones wait for the outermost loop, so stack use stays
// bounded however long the chain.
constexpr int kMaxNesting = 64;

thread_local int tlDepth = 0;
thread_local std::deque<std::function<void()>>* tlPending = nullptr;

thread_local bool tlBurying = false;
thread_local std::vector<std::shared_ptr<void>>* tlGraveyard = nullptr;

void runNested(const std::function<void()>& work) {
  ++tlDepth;
  work();
  --tlDepth;
}

}  // namespace

void runCompletionWork(std::function<void()> work) {
  if (tlDepth >= kMaxNesting) {
    // The deferred work runs after this stack has unwound; it must still see
    // the executor that was current when the completion happened, or
    // `current` would resolve differently.
    if (const Executor* current = CurrentExecutor::get()) {
      tlPending->push_back([executor = *current, work = std::move(work)] {
        CurrentExecutor::Scope scope(executor);
        work();
      });
    } else {
      tlPending->push_back(std::move(work));
    }
    return;
  }
  if (tlDepth > 0) {
    runNested(work);
    return;
  }
  std::deque<std::function<void()>> pending;
  tlPending = &pending;
  runNested(work);
  work = nullptr;
  while (!pending.empty()) {
    std::function<void()> next = std::move(pending.front());
    pending.pop_front();
    runNested(next);
  }
  tlPending = nullptr;
}

void bury(std::shared_ptr<void> item) {
  if (tlBurying) {
    tlGraveyard->push_back(std::move(item));
    return;
  }
  std::vector<std::shared_ptr<void>> graveyard;
  tlBurying = true;
  tlGraveyard = &graveyard;
  item.reset();
  while (!graveyard.empty()) {
    std::shared_ptr<void> next = std::move(graveyard.back());
    graveyard.pop_back();
    next.reset();
  }
  tlGraveyard = nullptr;
  tlBurying = false;
}

}  // namespace tessellon::detail
