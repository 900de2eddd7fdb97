#include "cli/ProgressLine.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/RunReport.h"

namespace tessellon::cli {

namespace {

std::string duration(double seconds) {
  const auto whole = static_cast<int64_t>(std::llround(seconds));
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(whole / 3600),
                  static_cast<long long>(whole / 60 % 60), static_cast<long long>(whole % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(whole / 60),
                  static_cast<long long>(whole % 60));
  }
  return text;
}

}  // namespace

ProgressLine::ProgressLine() : start_(std::chrono::steady_clock::now()) {}

void ProgressLine::update(const tessellon::FileStatus& status) {
  const std::lock_guard<std::mutex> lock(mutex_);
  status_ = status;
  changed_ = true;
}

void ProgressLine::updatePercent(int percent) {
  const std::lock_guard<std::mutex> lock(mutex_);
  percent_ = percent;
  changed_ = true;
}

std::optional<std::string> ProgressLine::takeChanged() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!changed_) return std::nullopt;
  changed_ = false;
  if (status_) {
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    return format(*status_, elapsed.count());
  }
  return "Preview " + std::to_string(percent_.value_or(0)) + "%";
}

std::string ProgressLine::format(const tessellon::FileStatus& status, double elapsedSeconds) {
  std::string line = std::to_string(status.processed) + "/" + std::to_string(status.overall) +
                     " files  " + megabyteFigure(status.processedBytes) + "/" +
                     megabyteFigure(status.overallBytes) + " MB";
  if (status.processedBytes > 0 && elapsedSeconds > 0) {
    const double rate = static_cast<double>(status.processedBytes) / elapsedSeconds;
    line += "  " + megabyteFigure(static_cast<int64_t>(rate)) + " MB/s";
    const int64_t left = status.overallBytes - status.processedBytes;
    if (left >= 0) line += "  " + duration(static_cast<double>(left) / rate) + " left";
  }
  return line;
}

}  // namespace tessellon::cli
