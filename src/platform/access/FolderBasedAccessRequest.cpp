#include "platform/access/FolderBasedAccessRequest.h"

#include "tessellon/BackupSDKError.h"

namespace tessellon {

FolderBasedAccessRequest::FolderBasedAccessRequest(
    std::shared_ptr<FileIOServiceProtocol> fileIOService,
    std::shared_ptr<LocationProviderProtocol> locationProvider, AccessPurpose purpose)
    : fileIOService_(std::move(fileIOService)),
      locationProvider_(std::move(locationProvider)),
      purpose_(purpose) {}

Future<Void> FolderBasedAccessRequest::checkAccess(std::shared_ptr<CancelToken> cancelToken) {
  if (cancelToken && cancelToken->isCanceled()) return Future<Void>::cancelled();
  auto usable = [&](const std::string& folder) {
    return fileIOService_->isReadableFile(folder) ||
           (purpose_ == AccessPurpose::restore && !fileIOService_->exists(folder));
  };
  const bool readable = fileIOService_ && locationProvider_ &&
                        usable(locationProvider_->localImageDirectory()) &&
                        usable(locationProvider_->localVideoDirectory());
  if (readable) return Future<Void>::success(Void{});
  return Future<Void>::fail(makeError(BackupSDKError::mediaNoAccessToPath,
                                      "the picture or movie folder is not readable"));
}

}  // namespace tessellon
