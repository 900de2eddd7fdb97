#pragma once

#include <functional>
#include <iosfwd>
#include <string>

#include "tessellon/LoggerProtocol.h"

namespace tessellon::hosts {

// Writes the library's log lines at or above a minimum level as "<level>: <message>" to standard
// error (or a given stream). Safe to call from any number of threads: each line is one write, so
// lines never interleave.
class ConsoleLogger final : public tessellon::LoggerProtocol {
 public:
  // `out` defaults to standard error; a given stream must outlive the logger.
  explicit ConsoleLogger(tessellon::LogLevel minimumLevel, std::ostream* out = nullptr);

  ConsoleLogger(const ConsoleLogger&) = delete;
  ConsoleLogger& operator=(const ConsoleLogger&) = delete;

  void log(tessellon::LogLevel level, const std::function<std::string()>& message) override;

  // "verbose", "debug", "info", "warning" or "error".
  static const char* levelName(tessellon::LogLevel level);

 private:
  const tessellon::LogLevel minimumLevel_;
  std::ostream* const out_;
};

}  // namespace tessellon::hosts
