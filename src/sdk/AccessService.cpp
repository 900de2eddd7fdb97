#include "sdk/AccessService.h"

#include "tessellon/BackupSDKError.h"

#include "model/Constants.h"

namespace tessellon {

AccessService::AccessService(std::shared_ptr<ContactRepositoryProtocol> contactRepository,
                             std::shared_ptr<CalendarRepositoryProtocol> calendarRepository,
                             std::shared_ptr<MediaRepositoryProtocol> mediaRepository)
    : contactRepository_(std::move(contactRepository)),
      calendarRepository_(std::move(calendarRepository)),
      mediaRepository_(std::move(mediaRepository)) {}

Future<Void> AccessService::checkAccess(const Settings& settings, AccessPurpose purpose,
                                        std::shared_ptr<CancelToken> cancelToken) {
  const Future<Void> contacts =
      settings.contacts ? checkContactAccess(cancelToken) : Constants::success();
  return contacts
      .onSuccess([calendars = settings.calendars, repository = calendarRepository_,
                  cancelToken]() -> Future<Void> {
        if (!calendars) return Constants::success();
        if (!repository) {
          return Future<Void>::fail(
              makeError(BackupSDKError::calendarsAccessDenied, "no calendar store"));
        }
        return repository->checkAccess(cancelToken);
      })
      .onSuccess([media = settings.images || settings.videos, repository = mediaRepository_,
                  purpose, cancelToken]() -> Future<Void> {
        if (!media) return Constants::success();
        auto factory = repository ? repository->accessRequestFactory() : nullptr;
        if (!factory) {
          return Future<Void>::fail(
              makeError(BackupSDKError::mediaNoAccessToPath, "no media repository"));
        }
        return factory->createRequest(purpose)->checkAccess(cancelToken);
      });
}

Future<Void> AccessService::checkContactAccess(const std::shared_ptr<CancelToken>& cancelToken) {
  Promise<Void> promise;
  if (cancelToken) (void)cancelToken->onCancel([promise] { promise.completeWithCancel(); });
  auto refused = [promise](const std::string& why) {
    promise.completeWithFail(makeError(BackupSDKError::contactsAccessDenied, why));
  };
  if (!contactRepository_) {
    refused("no contact store");
  } else {
    contactRepository_->requestAccess().onComplete(
        Executor::immediate(), [promise, refused](const FutureResult<Void>& result) {
          if (result.isSuccess()) {
            promise.completeWithSuccess(Void{});
          } else {
            refused(result.isFail() ? result.failure().message : "cancelled");
          }
        });
  }
  return promise.future;
}

}  // namespace tessellon
