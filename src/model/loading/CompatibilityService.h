#pragma once

#include <memory>
#include <string_view>

#include "tessellon/DeviceStatistics.h"
#include "tessellon/Settings.h"

#include "futures/Future.h"
#include "platform/identity/SystemInformationProtocol.h"

namespace tessellon {

// Whether a backup made by a device family may be restored on this system.
class CompatibilityService final {
 public:
  static constexpr std::string_view kProtocolName = "CompatibilityService";
  explicit CompatibilityService(std::shared_ptr<SystemInformationProtocol> systemInformation);

  // Fails with 205 (contacts on system 10.11) or 701 (wrong device family);
  // complete on return.
  Future<Void> checkCompatibility(DeviceFamily osFamily, const Settings& settings);

 private:
  std::shared_ptr<SystemInformationProtocol> systemInformation_;
};

}  // namespace tessellon
