#pragma once

#include <string>

#include "platform/identity/DeviceUIDServiceProtocol.h"

namespace tessellon {

// A device identifier chosen by the test.
class FixedDeviceUID final : public DeviceUIDServiceProtocol {
 public:
  explicit FixedDeviceUID(std::string uid = "MAC1") : uid_(std::move(uid)) {}
  std::string cachedUID() const override { return uid_; }
  std::string getUID() override { return uid_; }

 private:
  std::string uid_;
};

}  // namespace tessellon
