#pragma once

#include <memory>

#include "platform/access/AccessRequestProtocol.h"
#include "platform/access/PHPhotoLibraryWrapperProtocol.h"

namespace tessellon {

// The photo-library permission (asking the user when undecided), then the
// folder request it wraps: 301 refused, 320 unknown status, else the folder
// request's outcome.
class PhotoLibraryAccessRequest final : public AccessRequestProtocol {
 public:
  PhotoLibraryAccessRequest(std::shared_ptr<PHPhotoLibraryWrapperProtocol> phPhotosLibraryWrapper,
                            std::shared_ptr<AccessRequestProtocol> folderBasedRequest);

  Future<Void> checkAccess(std::shared_ptr<CancelToken> cancelToken) override;

 private:
  std::shared_ptr<PHPhotoLibraryWrapperProtocol> phPhotosLibraryWrapper_;
  std::shared_ptr<AccessRequestProtocol> folderBasedRequest_;
};

}  // namespace tessellon
