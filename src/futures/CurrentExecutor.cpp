#include "futures/CurrentExecutor.h"

#include <thread>

namespace tessellon {
namespace {

thread_local const Executor* tlCurrent = nullptr;

// Dynamic initialisation of a linked-in static library runs on the initial
// thread before main().
const std::thread::id kMainThread = std::this_thread::get_id();

}  // namespace

const Executor* CurrentExecutor::get() { return tlCurrent; }

bool CurrentExecutor::isMainThread() { return std::this_thread::get_id() == kMainThread; }

CurrentExecutor::Scope::Scope(const Executor& executor) : previous_(tlCurrent) {
  tlCurrent = &executor;
}

CurrentExecutor::Scope::~Scope() { tlCurrent = previous_; }

}  // namespace tessellon
