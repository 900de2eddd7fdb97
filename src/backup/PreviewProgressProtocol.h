#pragma once

#include <string_view>

namespace tessellon {

// The percentage of a preview's fingerprinting step, advanced by each report.
class PreviewProgressProtocol {
 public:
  static constexpr std::string_view kProtocolName = "PreviewProgressProtocol";
  PreviewProgressProtocol() = default;
  virtual ~PreviewProgressProtocol() = default;
  PreviewProgressProtocol(const PreviewProgressProtocol&) = delete;
  PreviewProgressProtocol& operator=(const PreviewProgressProtocol&) = delete;

  // Counts one more step and returns the percentage done, truncated; 100 when
  // there is nothing to count. Called from one chain at a time.
  virtual int getProgress() = 0;
};

}  // namespace tessellon
