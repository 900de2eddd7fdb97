#include "sdk/FolderBasedAccessRequest.h"

#include "tessellon/BackupSDKError.h"

namespace tessellon {

FolderBasedAccessRequest::FolderBasedAccessRequest(
    std::shared_ptr<FileIOServiceProtocol> fileIOService,
    std::shared_ptr<LocationProviderProtocol> locationProvider)
    : fileIOService_(std::move(fileIOService)), locationProvider_(std::move(locationProvider)) {}

Future<Void> FolderBasedAccessRequest::checkAccess(std::shared_ptr<CancelToken> cancelToken) {
  if (cancelToken && cancelToken->isCanceled()) return Future<Void>::cancelled();
  const bool readable = fileIOService_ && locationProvider_ &&
                        fileIOService_->isReadableFile(locationProvider_->localImageDirectory()) &&
                        fileIOService_->isReadableFile(locationProvider_->localVideoDirectory());
  if (readable) return Future<Void>::success(Void{});
  return Future<Void>::fail(makeError(BackupSDKError::mediaNoAccessToPath,
                                      "the picture or movie folder is not readable"));
}

}  // namespace tessellon
