#include "futures/ExecutorSettings.h"

#include <mutex>

#include "futures/PlatformLog.h"

namespace tessellon {
namespace {

struct Settings {
  std::mutex mutex;
  Executor primary = Executor::current();
  Executor main = Executor::mainImmediate();
  Executor async = Executor::defaultQoS();
};

Settings& settings() {
  static auto* instance = new Settings();
  return *instance;
}

bool isMainQueue(Executor::Kind kind) {
  return kind == Executor::Kind::main || kind == Executor::Kind::mainAsync ||
         kind == Executor::Kind::mainImmediate;
}

}  // namespace

Executor PrimaryExecutor::get() {
  std::lock_guard lock(settings().mutex);
  return settings().primary;
}

void PrimaryExecutor::set(const Executor& executor) {
  if (isMainQueue(executor.kind())) {
    platformLog("it's probably a bad idea to set .Primary to the Main Queue. You have been warned");
  }
  std::lock_guard lock(settings().mutex);
  settings().primary = executor;
}

Executor MainExecutor::get() {
  std::lock_guard lock(settings().mutex);
  return settings().main;
}

void MainExecutor::set(const Executor& executor) {
  std::lock_guard lock(settings().mutex);
  settings().main = executor;
}

Executor AsyncExecutor::get() {
  std::lock_guard lock(settings().mutex);
  return settings().async;
}

void AsyncExecutor::set(const Executor& executor) {
  if (executor.kind() == Executor::Kind::mainAsync) {
    platformLog("it's probably a bad idea to set .Async to the Main Queue. You have been warned");
  }
  std::lock_guard lock(settings().mutex);
  settings().async = executor;
}

}  // namespace tessellon
