#include "sdk/BackupSDKImpl.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "futures/sync/SynchronizationType.h"
#include "model/Constants.h"
#include "platform/locations/LocationProviderProtocol.h"
#include "platform/locations/PlatformRoots.h"
#include "sdk/Async.h"
#include "sdk/BackupSDKState.h"
#include "sdk/HostError.h"
#include "sdk/IoC.h"
#include "sdk/IoCSetup.h"
#include "sdk/Log.h"

namespace tessellon {
namespace {

Error noServices() {
  return makeError(BackupSDKError::unknownError, "the library's services could not be set up");
}

}  // namespace

BackupSDKImpl::BackupSDKImpl(std::shared_ptr<BackupSDKDelegate> delegate,
                             std::shared_ptr<LoggerProtocol> logger,
                             const BackupSDKOptions& options)
    : logger_(std::move(logger)) {
  Result<void> setup =
      IoCSetup::setupIoC(std::move(delegate), logger_, PlatformRoots::fromOptions(options));
  if (!setup.ok()) {
    logWith(logger_, LogLevel::error,
            [&] { return "setupIoC failed: " + describe(setup.error()); });
    return;
  }
  podVersion_ = TESSELLON_VERSION;
  resolveServices();
  GLOBAL_PARMS::LOCKING_STRATEGY = SynchronizationType::pThreadMutex;
}

void BackupSDKImpl::resolveServices() {
  try {
    auto remoteIOService = IoC::require<RemoteIOServiceProtocol>();
    auto backupService = IoC::require<BackupServiceProtocol>();
    auto backupPreviewService = IoC::require<BackupPreviewServiceProtocol>();
    auto restoreService = IoC::require<RestoreServiceProtocol>();
    auto fileIOService = IoC::require<FileIOServiceProtocol>();
    auto notificationService = IoC::require<NotificationServiceProtocol>();
    auto accessService = IoC::require<AccessServiceProtocol>();
    auto cancellationService = IoC::require<CancelationServiceProtocol>();
    remoteIOService_ = std::move(remoteIOService);
    backupService_ = std::move(backupService);
    backupPreviewService_ = std::move(backupPreviewService);
    restoreService_ = std::move(restoreService);
    fileIOService_ = std::move(fileIOService);
    notificationService_ = std::move(notificationService);
    accessService_ = std::move(accessService);
    cancellationService_ = std::move(cancellationService);
  } catch (const ErrorException& e) {
    logWith(logger_, LogLevel::error, [&] { return "setupIoC failed: " + describe(e.error()); });
  }
}

BackupSDKImpl::~BackupSDKImpl() {
  if (!backupService_) return;
  struct Waiter {
    std::mutex mutex;
    std::condition_variable done;
    bool completed = false;
  };
  auto waiter = std::make_shared<Waiter>();
  backupService_->lastCleanup().onComplete(Executor::immediate(), [waiter](const auto&) {
    std::lock_guard lock(waiter->mutex);
    waiter->completed = true;
    waiter->done.notify_all();
  });
  std::unique_lock lock(waiter->mutex);
  if (!waiter->done.wait_for(lock, std::chrono::seconds(10), [&] { return waiter->completed; })) {
    logWith(logger_, LogLevel::warning,
            [] { return std::string("The remote clean-up is still running; leaving it"); });
  }
}

void BackupSDKImpl::startPreview(const BackupSettings& settings, std::function<void(int)> progress,
                                 BackupCompletion completion) {
  if (!hasServices()) return completion(nullptr, asNSError(noServices()));
  auto started = BackupSDKState::startOperation();
  if (!started.ok()) return completion(nullptr, asNSError(started.error()));
  auto token = started.value();

  notificationService_->setBackupPreviewProgress(std::move(progress));
  accessService_->checkAccess(settings, token)
      .onSuccess(Executor::primary(), [preview = backupPreviewService_, settings,
                                       token] { return preview->generateBackup(settings, token); })
      .onComplete(Executor::current(), [notifications = notificationService_, logger = logger_,
                                        token, completion = std::move(completion)](
                                           const FutureResult<std::shared_ptr<Backup>>& result) {
        notifications->setBackupPreviewProgress(nullptr);
        BackupSDKState::finishOperation(token);
        if (result.isSuccess()) {
          logWith(logger, LogLevel::info, [] { return "Backup Preview finished SUCCESSFULLY"; });
          completion(result.successValue(), std::nullopt);
        } else if (result.isFail()) {
          logWith(logger, LogLevel::error, [] { return "Backup Preview FAILED"; });
          completion(nullptr, asNSError(result.failure()));
        } else {
          completion(nullptr, std::nullopt);
          logWith(logger, LogLevel::error, [] { return "Backup Preview FAILED"; });
        }
      });
}

void BackupSDKImpl::startBackup(const BackupSettings& settings,
                                std::function<void(const FileStatus&)> progress,
                                ReportCompletion completion) {
  if (!hasServices()) return completion(nullptr, asNSError(noServices()));
  auto started = BackupSDKState::startOperation();
  if (!started.ok()) return completion(nullptr, asNSError(started.error()));
  auto token = started.value();
  logWith(logger_, LogLevel::info,
          [&] { return "Started backup using BackupSDK(" + podVersion_ + ") with settings"; });

  notificationService_->setBackupProgress(std::move(progress));
  auto chain = accessService_->checkAccess(settings, token)
                   .onSuccess(Executor::primary(),
                              [preview = backupPreviewService_, settings, token] {
                                return preview->generateBackup(settings, token);
                              })
                   .onSuccess(Executor::primary(), [backupService = backupService_,
                                                    token](const std::shared_ptr<Backup>& backup) {
                     return backupService->process(backup, token);
                   });
  runBackupChain(chain, token, std::move(completion));
}

void BackupSDKImpl::startBackup(std::shared_ptr<Backup> backup,
                                std::function<void(const FileStatus&)> progress,
                                ReportCompletion completion) {
  if (!hasServices()) return completion(nullptr, asNSError(noServices()));
  auto started = BackupSDKState::startOperation();
  if (!started.ok()) return completion(nullptr, asNSError(started.error()));
  auto token = started.value();
  logWith(logger_, LogLevel::info,
          [&] { return "Started backup using BackupSDK(" + podVersion_ + ")"; });

  notificationService_->setBackupProgress(std::move(progress));
  runBackupChain(backupService_->process(std::move(backup), token), token, std::move(completion));
}

void BackupSDKImpl::runBackupChain(Future<std::shared_ptr<ProcessReport>> chain,
                                   std::shared_ptr<CancelToken> token,
                                   ReportCompletion completion) {
  chain.onComplete(
      Executor::current(),
      [notifications = notificationService_, token, completion = std::move(completion)](
          const FutureResult<std::shared_ptr<ProcessReport>>& result) {
        notifications->setBackupProgress(nullptr);
        BackupSDKState::finishOperation(token);
        if (result.isSuccess()) return completion(result.successValue(), std::nullopt);
        completion(nullptr,
                   result.isFail() ? std::optional(asNSError(result.failure())) : std::nullopt);
      });
}

void BackupSDKImpl::startRestore(std::shared_ptr<Backup> backup, const Settings& settings,
                                 std::function<void(const FileStatus&)> progress,
                                 ReportCompletion completion) {
  logWith(logger_, LogLevel::info,
          [&] { return "Started restore using BackupSDK(" + podVersion_ + ")"; });
  if (!hasServices()) return completion(nullptr, asNSError(noServices()));

  // A record without a format version cannot be trusted to be readable.
  std::optional<Error> versionRefusal;
  if (!backup || !backup->version || backup->version->major > Constants::backupVersion().major) {
    versionRefusal = makeError(BackupSDKError::versionConflict);
  }
  auto started = BackupSDKState::startOperation(versionRefusal);
  if (!started.ok()) return completion(nullptr, asNSError(started.error()));
  auto token = started.value();

  // A fresh home may lack the media folders; a restore brings them back
  // instead of being refused as unreadable.
  if (settings.images || settings.videos) {
    if (auto locations = IoC::optional<LocationProviderProtocol>()) {
      for (const auto& folder :
           {locations->localImageDirectory(), locations->localVideoDirectory()}) {
        if (!fileIOService_->exists(folder)) (void)fileIOService_->createDirectory(folder, true);
      }
    }
  }

  accessService_->checkAccess(settings, token)
      .onComplete(
          Executor::primary(),
          [notifications = notificationService_, helper = restoreService_->restoreHelper(), backup,
           settings, token, progress = std::move(progress),
           completion = std::move(completion)](const FutureResult<Void>& access) {
            if (!access.isSuccess()) {
              // The progress closure was never installed on this path.
              BackupSDKState::finishOperation(token);
              completion(nullptr, access.isFail() ? std::optional(asNSError(access.failure()))
                                                  : std::nullopt);
              return;
            }
            notifications->setRestoreProgress(progress);
            helper->restoreBackup(backup, settings, token)
                .onComplete(Executor::current(),
                            [notifications, token, completion](
                                const FutureResult<std::shared_ptr<ProcessReport>>& result) {
                              notifications->setRestoreProgress(nullptr);
                              BackupSDKState::finishOperation(token);
                              if (result.isSuccess()) {
                                return completion(result.successValue(), std::nullopt);
                              }
                              completion(nullptr, result.isFail()
                                                      ? std::optional(asNSError(result.failure()))
                                                      : std::nullopt);
                            });
          });
}

void BackupSDKImpl::getAvailableBackups(ListCompletion completion) {
  if (!hasServices()) return completion(std::nullopt, asNSError(noServices()));
  auto started = BackupSDKState::startListing();
  if (!started.ok()) return completion(std::nullopt, asNSError(started.error()));
  auto token = started.value();

  restoreService_->backupInformationCollector()->getAllBackups(token).onComplete(
      Executor::current(), [token, completion = std::move(completion)](
                               const FutureResult<std::vector<std::shared_ptr<Backup>>>& result) {
        BackupSDKState::finishListing(token);
        if (result.isSuccess()) return completion(result.successValue(), std::nullopt);
        if (result.isFail()) return completion(std::nullopt, asNSError(result.failure()));
        completion(std::vector<std::shared_ptr<Backup>>{}, std::nullopt);
      });
}

void BackupSDKImpl::cancel(std::function<void()> completion) {
  if (!hasServices()) {
    if (completion) Async::background(std::move(completion));
    return;
  }
  notificationService_->setCancellationFinished(std::move(completion));
  cancellationService_->cancel();
}

}  // namespace tessellon
