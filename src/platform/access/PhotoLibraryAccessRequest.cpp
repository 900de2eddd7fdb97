#include "platform/access/PhotoLibraryAccessRequest.h"

#include "tessellon/BackupSDKError.h"

namespace tessellon {
namespace {

Error refused() {
  return makeError(BackupSDKError::mediaNoPhotoLibraryAccess, "no access to the photo library");
}

}  // namespace

PhotoLibraryAccessRequest::PhotoLibraryAccessRequest(
    std::shared_ptr<PHPhotoLibraryWrapperProtocol> phPhotosLibraryWrapper,
    std::shared_ptr<AccessRequestProtocol> folderBasedRequest)
    : phPhotosLibraryWrapper_(std::move(phPhotosLibraryWrapper)),
      folderBasedRequest_(std::move(folderBasedRequest)) {}

Future<Void> PhotoLibraryAccessRequest::checkAccess(std::shared_ptr<CancelToken> cancelToken) {
  Promise<Void> promise;
  // A promise keeps its first result: a cancel here wins over what follows.
  if (cancelToken && cancelToken->isCanceled()) promise.completeWithCancel();

  Future<Void> photoLibrary = [&] {
    if (!phPhotosLibraryWrapper_) return Future<Void>::fail(refused());
    switch (phPhotosLibraryWrapper_->authorizationStatus()) {
      case PHAuthorizationStatus::authorized:
        return Future<Void>::success(Void{});
      case PHAuthorizationStatus::restricted:
      case PHAuthorizationStatus::denied:
        return Future<Void>::fail(refused());
      case PHAuthorizationStatus::notDetermined:
        return phPhotosLibraryWrapper_->requestAuthorization().onSuccess(
            [](PHAuthorizationStatus chosen) {
              return chosen == PHAuthorizationStatus::authorized
                         ? FutureResult<Void>::success(Void{})
                         : FutureResult<Void>::fail(refused());
            });
    }
    return Future<Void>::fail(makeError(BackupSDKError::mediaUnknownPhotoLibraryAccess,
                                        "unknown photo library authorization status"));
  }();

  photoLibrary.onComplete(
      [promise, folder = folderBasedRequest_, cancelToken](const FutureResult<Void>& result) {
        if (!result.isSuccess()) {
          promise.complete(result);
        } else if (folder) {
          promise.completeUsingFuture(folder->checkAccess(cancelToken));
        } else {
          promise.completeWithSuccess(Void{});
        }
      });
  return promise.future;
}

}  // namespace tessellon
