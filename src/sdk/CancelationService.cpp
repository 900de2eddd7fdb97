#include "sdk/CancelationService.h"

#include "sdk/BackupSDKState.h"

namespace tessellon {

CancelationService::CancelationService(std::shared_ptr<NotificationService> notificationService)
    : notificationService_(std::move(notificationService)) {}

void CancelationService::cancel() {
  // A handler's error only stops that token's remaining handlers; the request
  // itself goes on.
  if (auto token = BackupSDKState::beginCancelingCurrentAction()) (void)token->cancel();
  if (auto token = BackupSDKState::beginCancelingListing()) (void)token->cancel();

  auto action = BackupSDKState::currentAction();
  auto listing = BackupSDKState::cancelTokenForGetAllAvailableBackups();
  bool actionDone = !action || action->isCanceled();
  bool listingDone = !listing || listing->isCanceled();
  if (actionDone && listingDone) notificationService_->reportCancellationFinished();
}

}  // namespace tessellon
