#include "futures/PlatformLog.h"

#include <iostream>
#include <mutex>
#include <string>

namespace tessellon {
namespace {

std::mutex& sinkMutex() {
  static std::mutex mutex;
  return mutex;
}

std::function<void(std::string_view)>& sink() {
  static std::function<void(std::string_view)> current;
  return current;
}

}  // namespace

void platformLog(std::string_view line) {
  std::lock_guard lock(sinkMutex());
  if (sink()) {
    sink()(line);
  } else {
    std::cerr << std::string(line) + "\n" << std::flush;
  }
}

std::function<void(std::string_view)> setPlatformLogSink(
    std::function<void(std::string_view)> newSink) {
  std::lock_guard lock(sinkMutex());
  std::swap(sink(), newSink);
  return newSink;
}

}  // namespace tessellon
