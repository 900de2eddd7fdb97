#include "cli/WarningLogger.h"

#include <string>
#include <utility>

#include "delegates/ConsoleLogger.h"

namespace tessellon::cli {

WarningLogger::WarningLogger()
    : console_(std::make_unique<tessellon::hosts::ConsoleLogger>(tessellon::LogLevel::warning)) {}

WarningLogger::~WarningLogger() = default;

void WarningLogger::log(tessellon::LogLevel level, const std::function<std::string()>& message) {
  if (level != tessellon::LogLevel::warning) return;
  std::string text = message();
  // The library warns so when a device has no record yet, as on every first backup: that is no
  // news to the user.
  if (text.rfind("failed downloading remote backup for ", 0) == 0) return;
  console_->log(level, [text = std::move(text)] { return text; });
}

}  // namespace tessellon::cli
