#pragma once

#include "platform/identity/SystemInformationProtocol.h"

namespace tessellon {

// The compatibility rules restrict only systems older than 10.12, which Linux
// never is: it reports the first version they accept in full.
class SystemInformation final : public SystemInformationProtocol {
 public:
  OperatingSystemVersion operatingSystemVersion() const override { return {10, 12, 0}; }
};

}  // namespace tessellon
