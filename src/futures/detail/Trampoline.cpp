#include "futures/detail/Trampoline.h"

#include <deque>
#include <vector>

namespace tessellon::detail {
namespace {

thread_local bool tlRunning = false;
thread_local std::deque<std::function<void()>>* tlPending = nullptr;

thread_local bool tlBurying = false;
thread_local std::vector<std::shared_ptr<void>>* tlGraveyard = nullptr;

}  // namespace

void runCompletionWork(std::function<void()> work) {
  if (tlRunning) {
    tlPending->push_back(std::move(work));
    return;
  }
  std::deque<std::function<void()>> pending;
  tlRunning = true;
  tlPending = &pending;
  work();
  work = nullptr;
  while (!pending.empty()) {
    std::function<void()> next = std::move(pending.front());
    pending.pop_front();
    next();
  }
  tlPending = nullptr;
  tlRunning = false;
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
