#pragma once

#include <memory>

#include "platform/access/AccessRequestProtocol.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "platform/locations/LocationProviderProtocol.h"

namespace tessellon {

// Both media folders must be readable, whichever media category is selected:
// 303 otherwise. For a restore a missing folder passes too: the restore creates it once every
// check passed. Complete on return.
class FolderBasedAccessRequest final : public AccessRequestProtocol {
 public:
  FolderBasedAccessRequest(std::shared_ptr<FileIOServiceProtocol> fileIOService,
                           std::shared_ptr<LocationProviderProtocol> locationProvider,
                           AccessPurpose purpose = AccessPurpose::backup);

  Future<Void> checkAccess(std::shared_ptr<CancelToken> cancelToken) override;

 private:
  std::shared_ptr<FileIOServiceProtocol> fileIOService_;
  std::shared_ptr<LocationProviderProtocol> locationProvider_;
  AccessPurpose purpose_;
};

}  // namespace tessellon
