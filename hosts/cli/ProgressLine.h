#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>

#include "tessellon/FileStatus.h"

namespace tessellon::cli {

// The one progress line on a terminal: the library's progress closures store the latest snapshot
// (any thread), the waiting main thread redraws it at its own pace, so a burst of updates costs one
// redraw at most per tick.
class ProgressLine {
 public:
  ProgressLine();

  void update(const tessellon::FileStatus& status);
  void updatePercent(int percent);

  // The text for the latest snapshot, or nothing when it did not change since the last call.
  std::optional<std::string> takeChanged();

  // "12/40 files  3.40/10.00 MB  1.50 MB/s  0:05 left"; rate and time left once bytes moved.
  static std::string format(const tessellon::FileStatus& status, double elapsedSeconds);

 private:
  std::mutex mutex_;
  std::optional<tessellon::FileStatus> status_;
  std::optional<int> percent_;
  bool changed_ = false;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace tessellon::cli
