#include "model/loading/CompatibilityService.h"

#include <tuple>

#include "tessellon/BackupSDKError.h"

namespace tessellon {

CompatibilityService::CompatibilityService(
    std::shared_ptr<SystemInformationProtocol> systemInformation)
    : systemInformation_(std::move(systemInformation)) {}

Future<Void> CompatibilityService::checkCompatibility(DeviceFamily osFamily,
                                                      const Settings& settings) {
  const OperatingSystemVersion system = systemInformation_->operatingSystemVersion();
  if (settings.contacts && system.majorVersion == 10 && system.minorVersion == 11) {
    return Future<Void>::fail(makeError(BackupSDKError::contactsVersionIncompatibility,
                                        "contacts cannot be restored on system 10.11"));
  }
  const bool atLeast1012 = std::tie(system.majorVersion, system.minorVersion,
                                    system.patchVersion) >= std::make_tuple(10, 12, 0);
  const bool accepted =
      osFamily == DeviceFamily::macos || (atLeast1012 && osFamily != DeviceFamily::windows);
  if (accepted) return Future<Void>::success(Void{});
  return Future<Void>::fail(
      makeError(BackupSDKError::wrongOSError, "this backup cannot be restored on this system"));
}

}  // namespace tessellon
