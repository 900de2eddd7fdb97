#pragma once

#include "platform/access/AccessRequestFactoryProtocol.h"

namespace tessellon {

// The photo-library request around a folder request, from the container's
// shared services.
class AccessRequestFactory final : public AccessRequestFactoryProtocol {
 public:
  std::shared_ptr<AccessRequestProtocol> createRequest(AccessPurpose purpose) override;
};

}  // namespace tessellon
