#include "tessellon/BackupSDK.h"

#include "sdk/BackupSDKImpl.h"

namespace tessellon {

BackupSDK::BackupSDK(std::shared_ptr<BackupSDKDelegate> delegate,
                     std::shared_ptr<LoggerProtocol> logger, const BackupSDKOptions& options)
    : impl_(std::make_unique<BackupSDKImpl>(std::move(delegate), std::move(logger), options)) {}

BackupSDK::~BackupSDK() = default;

void BackupSDK::startPreview(
    const BackupSettings& settings, std::function<void(int)> progress,
    std::function<void(std::shared_ptr<Backup>, std::optional<Error>)> completion) {
  impl_->startPreview(settings, std::move(progress), std::move(completion));
}

void BackupSDK::startBackup(
    const BackupSettings& settings, std::function<void(const FileStatus&)> progress,
    std::function<void(std::shared_ptr<ProcessReport>, std::optional<Error>)> completion) {
  impl_->startBackup(settings, std::move(progress), std::move(completion));
}

void BackupSDK::startBackup(
    const std::shared_ptr<Backup>& backup, std::function<void(const FileStatus&)> progress,
    std::function<void(std::shared_ptr<ProcessReport>, std::optional<Error>)> completion) {
  impl_->startBackup(backup, std::move(progress), std::move(completion));
}

void BackupSDK::startRestore(
    const std::shared_ptr<Backup>& backup, const Settings& settings,
    std::function<void(const FileStatus&)> progress,
    std::function<void(std::shared_ptr<ProcessReport>, std::optional<Error>)> completion) {
  impl_->startRestore(backup, settings, std::move(progress), std::move(completion));
}

void BackupSDK::verify(
    const std::shared_ptr<Backup>& backup, bool readData,
    std::function<void(std::shared_ptr<VerifyReport>, std::optional<Error>)> completion) {
  impl_->verify(backup, readData, std::move(completion));
}

void BackupSDK::getAvailableBackups(
    std::function<void(std::optional<std::vector<std::shared_ptr<Backup>>>, std::optional<Error>)>
        completion) {
  impl_->getAvailableBackups(std::move(completion));
}

void BackupSDK::cancel(std::function<void()> completion) { impl_->cancel(std::move(completion)); }

}  // namespace tessellon
