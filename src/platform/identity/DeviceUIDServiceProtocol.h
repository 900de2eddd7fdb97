#pragma once

#include <string>
#include <string_view>

namespace tessellon {

// The identifier of this machine that backup records carry.
class DeviceUIDServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "DeviceUIDServiceProtocol";
  DeviceUIDServiceProtocol() = default;
  virtual ~DeviceUIDServiceProtocol() = default;
  DeviceUIDServiceProtocol(const DeviceUIDServiceProtocol&) = delete;
  DeviceUIDServiceProtocol& operator=(const DeviceUIDServiceProtocol&) = delete;

  // The identifier as it was when the service was created.
  virtual std::string cachedUID() const = 0;
  // The identifier as stored at this moment.
  virtual std::string getUID() = 0;
};

}  // namespace tessellon
