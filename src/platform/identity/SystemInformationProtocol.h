#pragma once

#include <string_view>

namespace tessellon {

struct OperatingSystemVersion {
  int majorVersion = 0;
  int minorVersion = 0;
  int patchVersion = 0;
};

// The running system's version, as the restore compatibility rules read it.
class SystemInformationProtocol {
 public:
  static constexpr std::string_view kProtocolName = "SystemInformationProtocol";
  SystemInformationProtocol() = default;
  virtual ~SystemInformationProtocol() = default;
  SystemInformationProtocol(const SystemInformationProtocol&) = delete;
  SystemInformationProtocol& operator=(const SystemInformationProtocol&) = delete;

  virtual OperatingSystemVersion operatingSystemVersion() const = 0;
};

}  // namespace tessellon
