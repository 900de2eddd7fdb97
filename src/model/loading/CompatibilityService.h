#pragma once

#include <memory>

#include "model/loading/CompatibilityServiceProtocol.h"
#include "platform/identity/SystemInformationProtocol.h"

namespace tessellon {

class CompatibilityService final : public CompatibilityServiceProtocol {
 public:
  explicit CompatibilityService(std::shared_ptr<SystemInformationProtocol> systemInformation);

  Future<Void> checkCompatibility(DeviceFamily osFamily, const Settings& settings) override;

 private:
  std::shared_ptr<SystemInformationProtocol> systemInformation_;
};

}  // namespace tessellon
