#pragma once

#include <string_view>

#include "futures/Future.h"

namespace tessellon {

// The photo-library authorization states; other raw values count as unknown.
enum class PHAuthorizationStatus : int {
  notDetermined = 0,
  restricted = 1,
  denied = 2,
  authorized = 3
};

// The photo library's permission model.
class PHPhotoLibraryWrapperProtocol {
 public:
  static constexpr std::string_view kProtocolName = "PHPhotoLibraryWrapperProtocol";
  PHPhotoLibraryWrapperProtocol() = default;
  virtual ~PHPhotoLibraryWrapperProtocol() = default;
  PHPhotoLibraryWrapperProtocol(const PHPhotoLibraryWrapperProtocol&) = delete;
  PHPhotoLibraryWrapperProtocol& operator=(const PHPhotoLibraryWrapperProtocol&) = delete;

  virtual PHAuthorizationStatus authorizationStatus() = 0;
  // The status the user chose; never fails.
  virtual Future<PHAuthorizationStatus> requestAuthorization() = 0;
};

}  // namespace tessellon
