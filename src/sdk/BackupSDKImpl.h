#pragma once

#include <memory>
#include <string>

#include "tessellon/BackupSDK.h"

#include "backup/BackupPreviewServiceProtocol.h"
#include "backup/BackupServiceProtocol.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "remote/RemoteIOServiceProtocol.h"
#include "restore/RestoreServiceProtocol.h"
#include "sdk/AccessServiceProtocol.h"
#include "sdk/CancelationServiceProtocol.h"
#include "sdk/NotificationServiceProtocol.h"

namespace tessellon {

// The facade's implementation. It starts one chain of futures per operation,
// guards the single-operation rule through BackupSDKState and calls the host's
// completion exactly once. Chains capture the services they use, not `this`,
// so a host may drop the facade while an operation runs.
class BackupSDKImpl {
 public:
  using BackupCompletion = std::function<void(std::shared_ptr<Backup>, std::optional<Error>)>;
  using ReportCompletion =
      std::function<void(std::shared_ptr<ProcessReport>, std::optional<Error>)>;
  using ListCompletion = std::function<void(std::optional<std::vector<std::shared_ptr<Backup>>>,
                                            std::optional<Error>)>;

  BackupSDKImpl(std::shared_ptr<BackupSDKDelegate> delegate, std::shared_ptr<LoggerProtocol> logger,
                const BackupSDKOptions& options);
  // Gives the clean-up the last backup started a bounded time to finish, so a
  // host that exits next leaves a tidy remote.
  ~BackupSDKImpl();
  BackupSDKImpl(const BackupSDKImpl&) = delete;
  BackupSDKImpl& operator=(const BackupSDKImpl&) = delete;

  void startPreview(const BackupSettings& settings, std::function<void(int)> progress,
                    BackupCompletion completion);
  void startBackup(const BackupSettings& settings, std::function<void(const FileStatus&)> progress,
                   ReportCompletion completion);
  void startBackup(std::shared_ptr<Backup> backup, std::function<void(const FileStatus&)> progress,
                   ReportCompletion completion);
  void startRestore(std::shared_ptr<Backup> backup, const Settings& settings,
                    std::function<void(const FileStatus&)> progress, ReportCompletion completion);
  void getAvailableBackups(ListCompletion completion);
  void cancel(std::function<void()> completion);

  const std::string& podVersion() const { return podVersion_; }

 private:
  bool hasServices() const { return cancellationService_ != nullptr; }
  void resolveServices();
  void runBackupChain(Future<std::shared_ptr<ProcessReport>> chain,
                      std::shared_ptr<CancelToken> token, ReportCompletion completion);

  std::shared_ptr<RemoteIOServiceProtocol> remoteIOService_;
  std::shared_ptr<BackupServiceProtocol> backupService_;
  std::shared_ptr<BackupPreviewServiceProtocol> backupPreviewService_;
  std::shared_ptr<RestoreServiceProtocol> restoreService_;
  std::shared_ptr<FileIOServiceProtocol> fileIOService_;
  std::shared_ptr<NotificationServiceProtocol> notificationService_;
  std::shared_ptr<AccessServiceProtocol> accessService_;
  std::shared_ptr<CancelationServiceProtocol> cancellationService_;
  std::shared_ptr<LoggerProtocol> logger_;  // may be null
  std::string podVersion_;
};

}  // namespace tessellon
