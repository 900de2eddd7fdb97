#pragma once

#include <functional>
#include <optional>
#include <string>

namespace tessellon {

// Severity of a log line; the values are single bits so a host can mask them.
enum class LogLevel : int { verbose = 1, debug = 2, info = 4, warning = 8, error = 16 };

// The level with this raw value, or nothing for any other integer.
std::optional<LogLevel> logLevelFromRawValue(int rawValue);

// Implemented by the host to receive the library's log lines. Without a logger
// the library is silent.
class LoggerProtocol {
 public:
  virtual ~LoggerProtocol() = default;

  // Called from any thread, possibly concurrently. `message` builds the line
  // (no timestamp, no source location) and may be called only during this
  // call; a logger that drops `level` need not call it at all.
  virtual void log(LogLevel level, const std::function<std::string()>& message) = 0;
};

}  // namespace tessellon
