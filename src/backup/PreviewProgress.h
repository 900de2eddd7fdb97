#pragma once

#include <optional>
#include <string_view>

namespace tessellon {

// The percentage of a preview's fingerprinting step: counts the fingerprint computations of one
// preview against their total, advanced by each report.
class PreviewProgress final {
 public:
  static constexpr std::string_view kProtocolName = "PreviewProgress";
  explicit PreviewProgress(std::optional<int> total);
  PreviewProgress(const PreviewProgress&) = delete;
  PreviewProgress& operator=(const PreviewProgress&) = delete;

  // Counts one more step and returns the percentage done, truncated; 100 when
  // there is nothing to count. Called from one chain at a time.
  int getProgress();

 private:
  const std::optional<int> total_;
  int calls_ = 0;
};

}  // namespace tessellon
