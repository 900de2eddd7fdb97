#include "platform/access/AccessRequestFactory.h"

#include "core/IoC.h"
#include "platform/access/FolderBasedAccessRequest.h"
#include "platform/access/PHPhotoLibraryWrapperProtocol.h"
#include "platform/access/PhotoLibraryAccessRequest.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "platform/locations/LocationProviderProtocol.h"

namespace tessellon {

std::shared_ptr<AccessRequestProtocol> AccessRequestFactory::createRequest(AccessPurpose purpose) {
  auto folderBasedRequest = std::make_shared<FolderBasedAccessRequest>(
      IoC::optional<FileIOServiceProtocol>(), IoC::optional<LocationProviderProtocol>(), purpose);
  return std::make_shared<PhotoLibraryAccessRequest>(IoC::optional<PHPhotoLibraryWrapperProtocol>(),
                                                     std::move(folderBasedRequest));
}

}  // namespace tessellon
