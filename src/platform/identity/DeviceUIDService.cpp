#include "platform/identity/DeviceUIDService.h"

#include <utility>

namespace tessellon {

DeviceUIDService::DeviceUIDService(std::shared_ptr<UserDefaultsServiceProtocol> defaults,
                                   std::string machineIdPath,
                                   std::shared_ptr<LoggerProtocol> logger)
    : defaults_(std::move(defaults)),
      machineIdPath_(std::move(machineIdPath)),
      logger_(std::move(logger)),
      cachedUID_(DeviceUID::uid(defaults_, machineIdPath_, logger_)) {}

std::string DeviceUIDService::getUID() {
  return DeviceUID::uid(defaults_, machineIdPath_, logger_);
}

}  // namespace tessellon
