#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tessellon/BackupSDK.h"

#include "backup/BackupPreviewServiceProtocol.h"
#include "backup/BackupServiceProtocol.h"
#include "core/NotificationService.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "platform/files/TemporaryFolderServiceProtocol.h"
#include "platform/identity/DeviceUIDServiceProtocol.h"
#include "remote/RemoteIOServiceProtocol.h"
#include "restore/RestoreServiceProtocol.h"
#include "restore/VerifyService.h"
#include "sdk/AccessServiceProtocol.h"
#include "sdk/CancelationService.h"
#include "sdk/DeviceLock.h"

namespace tessellon {

// The facade's implementation. It starts one chain of futures per operation,
// guards the single-operation rule through BackupSDKState, holds the device
// folder's DeviceLock around a backup or restore and calls the host's
// completion exactly once. Chains capture the services they use, not `this`,
// so a host may drop the facade while an operation runs.
class BackupSDKImpl {
 public:
  using BackupCompletion = std::function<void(std::shared_ptr<Backup>, std::optional<Error>)>;
  using ReportCompletion =
      std::function<void(std::shared_ptr<ProcessReport>, std::optional<Error>)>;
  using ListCompletion = std::function<void(std::optional<std::vector<std::shared_ptr<Backup>>>,
                                            std::optional<Error>)>;
  using VerifyCompletion = std::function<void(std::shared_ptr<VerifyReport>, std::optional<Error>)>;

  BackupSDKImpl(std::shared_ptr<BackupSDKDelegate> delegate, std::shared_ptr<LoggerProtocol> logger,
                const BackupSDKOptions& options);
  // Abandons the device locks still waiting for the host (see DeviceLock::abandon()).
  ~BackupSDKImpl();
  BackupSDKImpl(const BackupSDKImpl&) = delete;
  BackupSDKImpl& operator=(const BackupSDKImpl&) = delete;

  void startPreview(const BackupSettings& settings, std::function<void(int)> progress,
                    BackupCompletion completion);
  void startBackup(const BackupSettings& settings, std::function<void(const FileStatus&)> progress,
                   ReportCompletion completion);
  void startBackup(const std::shared_ptr<Backup>& preview,
                   std::function<void(const FileStatus&)> progress, ReportCompletion completion);
  void startRestore(const std::shared_ptr<Backup>& listed, const Settings& settings,
                    std::function<void(const FileStatus&)> progress, ReportCompletion completion);
  void verify(const std::shared_ptr<Backup>& listed, bool readData, VerifyCompletion completion);
  void getAvailableBackups(ListCompletion completion);
  void cancel(std::function<void()> completion);

  const std::string& podVersion() const { return podVersion_; }

 private:
  bool hasServices() const { return cancellationService_ != nullptr; }
  void resolveServices();
  // Makes the private temporary folder ours for an operation or listing: the error to complete
  // with at once when it cannot be. Each success is matched by one release of the service.
  std::optional<Error> acquireTemporaryFolder();
  // The start of every operation but a listing: the single-operation rule (or `refusal`) and the
  // private temporary folder. The operation's token, or the error its completion gets at once.
  Result<std::shared_ptr<CancelToken>> beginOperation(
      const std::optional<Error>& refusal = std::nullopt);
  // The picture and movie folders that are missing, or 303.
  static Future<Void> createMediaFolders(FileIOServiceProtocol& files);
  // The lock of the remote folder "<uid>"; not yet taken.
  std::shared_ptr<DeviceLock> lockFor(const std::string& uid) const;
  // The work of a backup once it holds this device's lock.
  using LockedRun = std::function<Future<std::shared_ptr<ProcessReport>>(
      const std::shared_ptr<DeviceLock>& lock, const std::shared_ptr<CancelToken>& token)>;
  // What both backup entry points share: starts the operation (or refuses it with `refusal`),
  // logs `started`, takes this device's lock and runs `run` under it with the host's progress.
  void runBackup(const std::function<std::string()>& started,
                 std::function<void(const FileStatus&)> progress, ReportCompletion completion,
                 const std::optional<Error>& refusal, const LockedRun& run);
  // Lets the lock go once `chain` has ended, then stops the progress (`stopProgress`), clears
  // the temporary folder and finishes the operation.
  void finishLocked(const Future<std::shared_ptr<ProcessReport>>& chain,
                    const std::shared_ptr<DeviceLock>& lock,
                    const std::shared_ptr<CancelToken>& token, ReportCompletion completion,
                    std::function<void()> stopProgress);

  std::shared_ptr<RemoteIOServiceProtocol> remoteIOService_;
  std::shared_ptr<BackupServiceProtocol> backupService_;
  std::shared_ptr<BackupPreviewServiceProtocol> backupPreviewService_;
  std::shared_ptr<RestoreServiceProtocol> restoreService_;
  std::shared_ptr<FileIOServiceProtocol> fileIOService_;
  std::shared_ptr<NotificationService> notificationService_;
  std::shared_ptr<AccessServiceProtocol> accessService_;
  std::shared_ptr<CancelationService> cancellationService_;
  std::shared_ptr<DeviceUIDServiceProtocol> deviceUIDService_;
  std::shared_ptr<VerifyService> verifyService_;
  std::shared_ptr<TemporaryFolderServiceProtocol> temporaryFolderService_;  // may be null
  std::shared_ptr<LoggerProtocol> logger_;                                  // may be null
  std::string temporaryFolder_;
  std::string podVersion_;
  mutable std::mutex locksMutex_;
  mutable std::vector<std::weak_ptr<DeviceLock>> locks_;  // every lock lockFor() made
};

}  // namespace tessellon
