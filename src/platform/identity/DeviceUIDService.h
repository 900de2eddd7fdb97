#pragma once

#include <memory>
#include <string>

#include "platform/identity/DeviceUID.h"
#include "platform/identity/DeviceUIDServiceProtocol.h"
#include "platform/identity/UserDefaultsServiceProtocol.h"

namespace tessellon {

// Creating the service fixes the machine's identifier on first use: it is computed and
// stored right away.
class DeviceUIDService : public DeviceUIDServiceProtocol {
 public:
  explicit DeviceUIDService(std::shared_ptr<UserDefaultsServiceProtocol> defaults,
                            std::string machineIdPath = DeviceUID::kMachineIdPath,
                            std::shared_ptr<LoggerProtocol> logger = nullptr);

  std::string cachedUID() const override { return cachedUID_; }
  std::string getUID() override;

 private:
  std::shared_ptr<UserDefaultsServiceProtocol> defaults_;
  std::string machineIdPath_;
  std::shared_ptr<LoggerProtocol> logger_;
  std::string cachedUID_;
};

}  // namespace tessellon
