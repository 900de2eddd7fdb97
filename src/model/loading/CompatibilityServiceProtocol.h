#pragma once

#include <string_view>

#include "futures/Future.h"
#include "tessellon/DeviceStatistics.h"
#include "tessellon/Settings.h"

namespace tessellon {

// Whether a backup made by a device family may be restored on this system.
class CompatibilityServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "CompatibilityServiceProtocol";
  CompatibilityServiceProtocol() = default;
  virtual ~CompatibilityServiceProtocol() = default;
  CompatibilityServiceProtocol(const CompatibilityServiceProtocol&) = delete;
  CompatibilityServiceProtocol& operator=(const CompatibilityServiceProtocol&) = delete;

  // Fails with 205 (contacts on system 10.11) or 701 (wrong device family);
  // complete on return.
  virtual Future<Void> checkCompatibility(DeviceFamily osFamily, const Settings& settings) = 0;
};

}  // namespace tessellon
