#include "tessellon/Backup.h"

#include "model/Constants.h"

namespace tessellon {

Backup::Backup(std::string id)
    : deviceID(std::move(id)),
      version(std::make_shared<Version>(Constants::backupVersion())),
      hashVersion(std::make_shared<Version>(Constants::hashVersion())),
      backupModelVersion(1),
      osFamily(DeviceFamily::macos),
      deviceType(DeviceType::pc),
      mediaVersions{0, 0, {Constants::hashVersion()}} {}

}  // namespace tessellon
