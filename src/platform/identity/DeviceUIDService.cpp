#include "platform/identity/DeviceUIDService.h"

#include <utility>

namespace tessellon {

DeviceUIDService::DeviceUIDService(std::shared_ptr<UserDefaultsServiceProtocol> defaults,
                                   std::string machineIdPath)
    : defaults_(std::move(defaults)),
      machineIdPath_(std::move(machineIdPath)),
      cachedUID_(DeviceUID::uid(defaults_, machineIdPath_)) {}

std::string DeviceUIDService::getUID() { return DeviceUID::uid(defaults_, machineIdPath_); }

}  // namespace tessellon
