#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "tessellon/LoggerProtocol.h"

namespace tessellon {

// Keeps every line it is given, from any thread, for assertions on log texts.
class RecordingLogger final : public LoggerProtocol {
 public:
  void log(LogLevel level, const std::function<std::string()>& message) override {
    std::string text = message();
    std::lock_guard lock(mutex_);
    lines_.emplace_back(level, std::move(text));
  }

  std::vector<std::pair<LogLevel, std::string>> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  // How many lines at `level` start with `prefix`.
  size_t count(LogLevel level, const std::string& prefix) const {
    std::lock_guard lock(mutex_);
    return std::count_if(lines_.begin(), lines_.end(), [&](const auto& line) {
      return line.first == level && line.second.rfind(prefix, 0) == 0;
    });
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<LogLevel, std::string>> lines_;
};

}  // namespace tessellon
