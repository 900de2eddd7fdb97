#pragma once

#include <functional>
#include <memory>
#include <string>

#include "tessellon/LoggerProtocol.h"

namespace tessellon::hosts {
class ConsoleLogger;
}

namespace tessellon::cli {

// The library's warnings (items skipped, items lost on the remote, a record rebuilt) on standard
// error when no -v was given. Its error lines are left out: the command says what went wrong in
// its own words. Called from any thread.
class WarningLogger final : public tessellon::LoggerProtocol {
 public:
  WarningLogger();
  ~WarningLogger() override;

  WarningLogger(const WarningLogger&) = delete;
  WarningLogger& operator=(const WarningLogger&) = delete;

  void log(tessellon::LogLevel level, const std::function<std::string()>& message) override;

 private:
  const std::unique_ptr<tessellon::hosts::ConsoleLogger> console_;
};

}  // namespace tessellon::cli
