#pragma once

#include <memory>
#include <string>
#include <utility>

#include "tessellon/LoggerProtocol.h"

namespace tessellon {

// Logs through an optional logger; without one the message is never built.
template <class F>
void logWith(const std::shared_ptr<LoggerProtocol>& logger, LogLevel level, F&& message) {
  if (logger) logger->log(level, std::function<std::string()>(std::forward<F>(message)));
}

inline const char* boolText(bool value) { return value ? "true" : "false"; }

}  // namespace tessellon
