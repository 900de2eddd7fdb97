#pragma once

#include "platform/access/PHPhotoLibraryWrapperProtocol.h"

namespace tessellon {

// Linux has no photo-library permission: the folders' own permissions decide
// (the folder check runs next), so the library is always authorized.
class PHPhotoLibraryWrapper final : public PHPhotoLibraryWrapperProtocol {
 public:
  PHAuthorizationStatus authorizationStatus() override { return PHAuthorizationStatus::authorized; }
  Future<PHAuthorizationStatus> requestAuthorization() override {
    return Future<PHAuthorizationStatus>::success(PHAuthorizationStatus::authorized);
  }
};

}  // namespace tessellon
