#include "sdk/BackupSDKImpl.h"

#include <functional>

#include "core/Async.h"
#include "core/HostError.h"
#include "core/IoC.h"
#include "core/Log.h"
#include "futures/sync/SynchronizationType.h"
#include "model/Constants.h"
#include "model/HostBackup.h"
#include "model/loading/MetadataLoader.h"
#include "platform/calendar/CalendarRepositoryProtocol.h"
#include "platform/contacts/ContactRepositoryProtocol.h"
#include "platform/files/TemporaryFolderServiceProtocol.h"
#include "platform/locations/LocationProviderProtocol.h"
#include "platform/locations/PlatformRoots.h"
#include "sdk/BackupSDKState.h"
#include "sdk/IoCSetup.h"

namespace tessellon {
namespace {

Error noServices() {
  return makeError(BackupSDKError::unknownError, "the library's services could not be set up");
}

// A record without a format version cannot be trusted to be readable.
std::optional<Error> versionRefusal(const std::shared_ptr<BackupRecord>& backup) {
  if (!backup || !backup->version || backup->version->major > Constants::backupVersion().major) {
    return makeError(BackupSDKError::versionConflict);
  }
  return std::nullopt;
}

// Lets `lock` go once `chain` has ended, then calls `finish` with the chain's result. The
// operation ends only once its folder is free again: a next run, here or in another process,
// must not find the lock of one that has already reported.
template <class T, class Finish>
void releaseThen(const Future<T>& chain, const std::shared_ptr<DeviceLock>& lock, Finish finish) {
  chain.onComplete(Executor::current(), [lock](const FutureResult<T>&) { return lock->release(); })
      .onComplete(Executor::current(),
                  [chain, lock, finish = std::move(finish)](const FutureResult<Void>&) {
                    // A run whose lock another run took over did not end as the user asked.
                    if (std::optional<Error> lost = lock->lost()) {
                      return finish(FutureResult<T>::fail(*lost));
                    }
                    finish(*chain.result());
                  });
}

// The host's form of a finished operation: its value (as `view` shows it to the host), its error,
// or neither when cancelled.
template <class T, class Completion, class View = std::identity>
void deliver(const FutureResult<std::shared_ptr<T>>& result, const Completion& completion,
             View view = {}) {
  if (result.isSuccess()) return completion(view(result.successValue()), std::nullopt);
  completion(nullptr, result.isFail() ? std::optional(asNSError(result.failure())) : std::nullopt);
}

// The private temporary folder is cleared of the run's files once nothing uses it.
void releaseTemporaryFolder(const std::shared_ptr<TemporaryFolderServiceProtocol>& folder) {
  if (folder) folder->release();
}

}  // namespace

BackupSDKImpl::BackupSDKImpl(std::shared_ptr<BackupSDKDelegate> delegate,
                             std::shared_ptr<LoggerProtocol> logger,
                             const BackupSDKOptions& options)
    : logger_(std::move(logger)) {
  const PlatformRoots roots = PlatformRoots::fromOptions(options);
  temporaryFolder_ = roots.temporary;
  Result<void> setup =
      IoCSetup::setupIoC(std::move(delegate), logger_, roots, options.remoteRequestTimeout);
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
    auto notificationService = IoC::require<NotificationService>();
    auto accessService = IoC::require<AccessServiceProtocol>();
    auto cancellationService = IoC::require<CancelationService>();
    auto deviceUIDService = IoC::require<DeviceUIDServiceProtocol>();
    auto verifyService = std::make_shared<VerifyService>(remoteIOService, fileIOService,
                                                         IoC::require<MetadataLoader>(), logger_);
    remoteIOService_ = std::move(remoteIOService);
    backupService_ = std::move(backupService);
    backupPreviewService_ = std::move(backupPreviewService);
    restoreService_ = std::move(restoreService);
    fileIOService_ = std::move(fileIOService);
    notificationService_ = std::move(notificationService);
    accessService_ = std::move(accessService);
    cancellationService_ = std::move(cancellationService);
    deviceUIDService_ = std::move(deviceUIDService);
    verifyService_ = std::move(verifyService);
  } catch (const ErrorException& e) {
    logWith(logger_, LogLevel::error, [&] { return "setupIoC failed: " + describe(e.error()); });
  }
  temporaryFolderService_ = IoC::optional<TemporaryFolderServiceProtocol>();
}

std::optional<Error> BackupSDKImpl::acquireTemporaryFolder() {
  if (!temporaryFolderService_) return std::nullopt;
  Result<void> acquired = temporaryFolderService_->acquire();
  if (acquired.ok()) return std::nullopt;
  logWith(logger_, LogLevel::error, [&] { return describe(acquired.error()); });
  return asNSError(acquired.error());
}

Result<std::shared_ptr<CancelToken>> BackupSDKImpl::beginOperation(
    const std::optional<Error>& refusal) {
  if (!hasServices()) return asNSError(noServices());
  auto started = BackupSDKState::startOperation(refusal);
  if (!started.ok()) return asNSError(started.error());
  if (auto refused = acquireTemporaryFolder()) {
    BackupSDKState::finishOperation(started.value());
    return *refused;
  }
  return started.value();
}

BackupSDKImpl::~BackupSDKImpl() {
  std::lock_guard lock(locksMutex_);
  for (const std::weak_ptr<DeviceLock>& weak : locks_) {
    if (auto deviceLock = weak.lock()) deviceLock->abandon();
  }
}

std::shared_ptr<DeviceLock> BackupSDKImpl::lockFor(const std::string& uid) const {
  auto lock = std::make_shared<DeviceLock>(remoteIOService_, fileIOService_, logger_,
                                           temporaryFolder_, uid);
  std::lock_guard guard(locksMutex_);
  std::erase_if(locks_, [](const std::weak_ptr<DeviceLock>& weak) { return weak.expired(); });
  locks_.push_back(lock);
  return lock;
}

void BackupSDKImpl::startPreview(const BackupSettings& settings, std::function<void(int)> progress,
                                 BackupCompletion completion) {
  auto started = beginOperation();
  if (!started.ok()) return completion(nullptr, started.error());
  const auto& token = started.value();

  notificationService_->setBackupPreviewProgress(std::move(progress));
  accessService_->checkAccess(settings, AccessPurpose::backup, token)
      .onSuccess(Executor::primary(), [preview = backupPreviewService_, settings,
                                       token] { return preview->generateBackup(settings, token); })
      .onComplete(Executor::current(),
                  [notifications = notificationService_, logger = logger_,
                   temporary = temporaryFolderService_, token, completion = std::move(completion)](
                      const FutureResult<std::shared_ptr<BackupRecord>>& result) {
                    notifications->setBackupPreviewProgress(nullptr);
                    releaseTemporaryFolder(temporary);
                    BackupSDKState::finishOperation(token);
                    if (result.isSuccess()) {
                      logWith(logger, LogLevel::info,
                              [] { return "Backup Preview finished SUCCESSFULLY"; });
                    } else if (result.isFail()) {
                      logWith(logger, LogLevel::error, [] { return "Backup Preview FAILED"; });
                    } else {
                      logWith(logger, LogLevel::info, [] { return "Backup Preview CANCELLED"; });
                    }
                    deliver(result, completion, hostBackup);
                  });
}

void BackupSDKImpl::startBackup(const BackupSettings& settings,
                                std::function<void(const FileStatus&)> progress,
                                ReportCompletion completion) {
  runBackup([this] { return "Started backup using BackupSDK(" + podVersion_ + ") with settings"; },
            std::move(progress), std::move(completion), std::nullopt,
            [this, settings](const std::shared_ptr<DeviceLock>& lock,
                             const std::shared_ptr<CancelToken>& token) {
              return accessService_->checkAccess(settings, AccessPurpose::backup, token)
                  .onSuccess(Executor::primary(), [lock, token] { return lock->acquire(token); })
                  .onSuccess(Executor::primary(),
                             [preview = backupPreviewService_, token] {
                               return preview->inflateLeftOverArchive(token);
                             })
                  .onSuccess(Executor::primary(),
                             [preview = backupPreviewService_, settings, token] {
                               return preview->generateBackup(settings, token);
                             })
                  .onSuccess(Executor::primary(), [backupService = backupService_, token](
                                                      const std::shared_ptr<BackupRecord>& backup) {
                    return backupService->process(backup, token);
                  });
            });
}

void BackupSDKImpl::startBackup(const std::shared_ptr<Backup>& preview,
                                std::function<void(const FileStatus&)> progress,
                                ReportCompletion completion) {
  std::shared_ptr<BackupRecord> backup = recordOf(preview);
  const std::optional<Error> refusal = versionRefusal(backup);
  runBackup([this] { return "Started backup using BackupSDK(" + podVersion_ + ")"; },
            std::move(progress), std::move(completion), refusal,
            [this, backup = std::move(backup)](const std::shared_ptr<DeviceLock>& lock,
                                               const std::shared_ptr<CancelToken>& token) {
              // Once the folder is this run's, the record the preview read must still be the stored
              // one: a run made since would otherwise lose what it stored to this run's clean-up.
              return lock->acquire(token)
                  .onSuccess(Executor::primary(),
                             [preview = backupPreviewService_, backup, token] {
                               return preview->checkStoredUnchanged(*backup, token);
                             })
                  .onSuccess(Executor::primary(), [backupService = backupService_, backup, token] {
                    return backupService->process(backup, token);
                  });
            });
}

void BackupSDKImpl::runBackup(const std::function<std::string()>& started,
                              std::function<void(const FileStatus&)> progress,
                              ReportCompletion completion, const std::optional<Error>& refusal,
                              const LockedRun& run) {
  auto begun = beginOperation(refusal);
  if (!begun.ok()) return completion(nullptr, begun.error());
  const std::shared_ptr<CancelToken>& token = begun.value();
  logWith(logger_, LogLevel::info, started);

  notificationService_->setBackupProgress(std::move(progress));
  auto lock = lockFor(deviceUIDService_->getUID());
  auto chain = run(lock, token);
  finishLocked(chain, lock, token, std::move(completion), [notifications = notificationService_] {
    notifications->setBackupProgress(nullptr);
  });
}

void BackupSDKImpl::finishLocked(const Future<std::shared_ptr<ProcessReport>>& chain,
                                 const std::shared_ptr<DeviceLock>& lock,
                                 const std::shared_ptr<CancelToken>& token,
                                 ReportCompletion completion, std::function<void()> stopProgress) {
  releaseThen(chain, lock,
              [stopProgress = std::move(stopProgress), temporary = temporaryFolderService_, token,
               completion = std::move(completion)](
                  const FutureResult<std::shared_ptr<ProcessReport>>& result) {
                stopProgress();
                releaseTemporaryFolder(temporary);
                BackupSDKState::finishOperation(token);
                deliver(result, completion);
              });
}

Future<Void> BackupSDKImpl::createMediaFolders(FileIOServiceProtocol& files) {
  // A fresh home may lack the media folders; a restore brings them back, once nothing refused it.
  auto locations = IoC::optional<LocationProviderProtocol>();
  if (!locations) return Constants::success();
  for (const auto& folder : {locations->localImageDirectory(), locations->localVideoDirectory()}) {
    if (files.exists(folder)) continue;
    Result<void> made = files.createDirectory(folder, true);
    if (!made.ok()) {
      return Future<Void>::fail(makeError(BackupSDKError::mediaNoAccessToPath,
                                          "cannot create " + folder + ": " + made.error().message));
    }
  }
  return Constants::success();
}

void BackupSDKImpl::startRestore(const std::shared_ptr<Backup>& listed, const Settings& settings,
                                 std::function<void(const FileStatus&)> progress,
                                 ReportCompletion completion) {
  std::shared_ptr<BackupRecord> backup = recordOf(listed);
  logWith(logger_, LogLevel::info,
          [&] { return "Started restore using BackupSDK(" + podVersion_ + ")"; });
  auto started = beginOperation(versionRefusal(backup));
  if (!started.ok()) return completion(nullptr, started.error());
  const auto& token = started.value();

  // Likewise the address book and the calendar folders; a backup never creates them, so a
  // missing folder there fails instead of reading as empty.
  if (settings.contacts) {
    if (auto contacts = IoC::optional<ContactRepositoryProtocol>()) (void)contacts->createStore();
  }
  if (settings.calendars) {
    if (auto calendars = IoC::optional<CalendarRepositoryProtocol>())
      (void)calendars->createStore();
  }

  auto lock = lockFor(backup->deviceID);
  auto chain = accessService_->checkAccess(settings, AccessPurpose::restore, token)
                   .onSuccess(Executor::primary(), [lock, token] { return lock->acquire(token); })
                   .onSuccess(Executor::primary(),
                              [files = fileIOService_, media = settings.images || settings.videos] {
                                return media ? createMediaFolders(*files) : Constants::success();
                              })
                   .onSuccess(Executor::primary(), [notifications = notificationService_,
                                                    helper = restoreService_->restoreHelper(),
                                                    backup = std::move(backup), settings, token,
                                                    progress = std::move(progress)] {
                     notifications->setRestoreProgress(progress);
                     return helper->restoreBackup(backup, settings, token);
                   });
  finishLocked(chain, lock, token, std::move(completion), [notifications = notificationService_] {
    notifications->setRestoreProgress(nullptr);
  });
}

void BackupSDKImpl::verify(const std::shared_ptr<Backup>& listed, bool readData,
                           VerifyCompletion completion) {
  std::shared_ptr<BackupRecord> backup = recordOf(listed);
  auto started = beginOperation(versionRefusal(backup));
  if (!started.ok()) return completion(nullptr, started.error());
  const auto& token = started.value();
  logWith(logger_, LogLevel::info,
          [&] { return "Started verify using BackupSDK(" + podVersion_ + ")"; });

  verifyService_->verify(std::move(backup), readData, token)
      .onComplete(Executor::current(),
                  [temporary = temporaryFolderService_, token, completion = std::move(completion)](
                      const FutureResult<std::shared_ptr<VerifyReport>>& result) {
                    releaseTemporaryFolder(temporary);
                    BackupSDKState::finishOperation(token);
                    deliver(result, completion);
                  });
}

void BackupSDKImpl::getAvailableBackups(ListCompletion completion) {
  if (!hasServices()) return completion(std::nullopt, asNSError(noServices()));
  auto started = BackupSDKState::startListing();
  if (!started.ok()) return completion(std::nullopt, asNSError(started.error()));
  const auto& token = started.value();
  if (auto refused = acquireTemporaryFolder()) {
    BackupSDKState::finishListing(token);
    return completion(std::nullopt, refused);
  }

  restoreService_->backupInformationCollector()->getAllBackups(token).onComplete(
      Executor::current(),
      [temporary = temporaryFolderService_, token, completion = std::move(completion)](
          const FutureResult<std::vector<std::shared_ptr<BackupRecord>>>& result) {
        releaseTemporaryFolder(temporary);
        BackupSDKState::finishListing(token);
        if (result.isFail()) return completion(std::nullopt, asNSError(result.failure()));
        std::vector<std::shared_ptr<Backup>> backups;
        if (result.isSuccess()) {
          for (const auto& record : result.successValue()) backups.push_back(hostBackup(record));
        }
        completion(std::move(backups), std::nullopt);
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
