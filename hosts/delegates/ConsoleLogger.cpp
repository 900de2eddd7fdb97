#include "delegates/ConsoleLogger.h"

#include <iostream>
#include <mutex>
#include <ostream>

namespace tessellon::hosts {

namespace {

// One lock for every logger: several loggers may share standard error.
std::mutex& outputMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

ConsoleLogger::ConsoleLogger(tessellon::LogLevel minimumLevel, std::ostream* out)
    : minimumLevel_(minimumLevel), out_(out != nullptr ? out : &std::cerr) {}

void ConsoleLogger::log(tessellon::LogLevel level, const std::function<std::string()>& message) {
  // Levels are single bits in ascending severity, so the raw values order them.
  if (static_cast<int>(level) < static_cast<int>(minimumLevel_)) {
    return;
  }
  // Build the line before taking the lock: the closure may be slow, or may itself log.
  std::string line = levelName(level);
  line += ": ";
  line += message();
  line += '\n';

  const std::lock_guard<std::mutex> lock(outputMutex());
  out_->write(line.data(), static_cast<std::streamsize>(line.size()));
  out_->flush();
}

const char* ConsoleLogger::levelName(tessellon::LogLevel level) {
  switch (level) {
    case tessellon::LogLevel::verbose:
      return "verbose";
    case tessellon::LogLevel::debug:
      return "debug";
    case tessellon::LogLevel::info:
      return "info";
    case tessellon::LogLevel::warning:
      return "warning";
    case tessellon::LogLevel::error:
      return "error";
  }
  return "unknown";
}

}  // namespace tessellon::hosts
