#pragma once

#include <memory>
#include <string_view>

#include "platform/access/AccessRequestProtocol.h"

namespace tessellon {

// Builds the media access check: the photo-library check followed by the
// picture and movie folder check. Every call builds new request objects.
class AccessRequestFactoryProtocol {
 public:
  static constexpr std::string_view kProtocolName = "AccessRequestFactoryProtocol";
  AccessRequestFactoryProtocol() = default;
  virtual ~AccessRequestFactoryProtocol() = default;
  AccessRequestFactoryProtocol(const AccessRequestFactoryProtocol&) = delete;
  AccessRequestFactoryProtocol& operator=(const AccessRequestFactoryProtocol&) = delete;

  virtual std::shared_ptr<AccessRequestProtocol> createRequest(AccessPurpose purpose) = 0;
};

}  // namespace tessellon
