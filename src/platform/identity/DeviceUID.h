#pragma once

#include <memory>
#include <optional>
#include <string>

#include "tessellon/LoggerProtocol.h"

#include "platform/identity/UserDefaultsServiceProtocol.h"

namespace tessellon {

// The identifier of this machine for the user account: computed once, from the first
// source that yields one (the stored value, the machine's serial number, an advertising
// identifier, a random UUID), then kept in the user defaults for good. A random UUID that cannot
// be stored gives way to one derived from the host and user names, so that the identifier stays
// the same from run to run; a failed write is logged and tried again by the next run.
class DeviceUID {
 public:
  static constexpr const char* kDefaultKey = "deviceUID";
  static constexpr const char* kMachineIdPath = "/etc/machine-id";

  DeviceUID(std::string key, std::shared_ptr<UserDefaultsServiceProtocol> defaults,
            std::string machineIdPath = kMachineIdPath,
            std::shared_ptr<LoggerProtocol> logger = nullptr);

  // The identifier under "deviceUID"; stores it when none is stored yet.
  static std::string uid(const std::shared_ptr<UserDefaultsServiceProtocol>& defaults,
                         const std::string& machineIdPath = kMachineIdPath,
                         const std::shared_ptr<LoggerProtocol>& logger = nullptr);

  // Never empty; stores the identifier unless a value is stored already.
  std::string uid();
  // Stores the identifier unless a value is stored under the key already; false when the write
  // failed.
  bool save();
  const std::string& uidKey() const { return uidKey_; }

  // An id derived from the machine id, so the machine id itself never leaves the machine:
  // HMAC-SHA256 keyed by it over a fixed application id, the first 16 bytes as an upper-case
  // UUID. Nothing when the file is unreadable or empty.
  static std::optional<std::string> serialNumber(const std::string& machineIdPath);
  // Linux has no advertising identifier.
  static std::optional<std::string> advertisingIdentifier() { return std::nullopt; }
  // A new random (version 4) UUID, upper-case.
  static std::string randomUUID();
  // Derived like serialNumber from the host name, the user id and the home folder: the same at
  // every run of this account on this host. Nothing without a host name.
  static std::optional<std::string> hostIdentifier();

 private:
  std::optional<std::string> uid_;
  std::string uidKey_;
  std::shared_ptr<UserDefaultsServiceProtocol> defaults_;
  std::string machineIdPath_;
  std::shared_ptr<LoggerProtocol> logger_;

  void logUnstored(const std::string& consequence) const;
};

}  // namespace tessellon
