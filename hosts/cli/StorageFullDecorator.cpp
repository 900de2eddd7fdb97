#include "cli/StorageFullDecorator.h"

#include <utility>

namespace tessellon::cli {

StorageFullDecorator::StorageFullDecorator(std::shared_ptr<tessellon::BackupSDKDelegate> remote)
    : remote_(std::move(remote)), storageFull_(std::make_shared<std::atomic<bool>>(false)) {}

std::shared_ptr<tessellon::CancellationDelegate> StorageFullDecorator::uploadFile(
    const std::string& localPath, const std::string& relativeRemotePath,
    std::function<void(const tessellon::TransferProgress&)> progress,
    std::function<void(std::optional<tessellon::Error>)> completion) {
  return remote_->uploadFile(
      localPath, relativeRemotePath, std::move(progress),
      [full = storageFull_, completion = std::move(completion)](std::optional<Error> error) {
        if (error && error->code == kInsufficientStorage) full->store(true);
        completion(std::move(error));
      });
}

std::shared_ptr<tessellon::CancellationDelegate> StorageFullDecorator::downloadFile(
    const std::string& relativeRemotePath,
    std::function<void(const tessellon::TransferProgress&)> progress,
    std::function<void(std::optional<std::string>, std::optional<tessellon::BackupSDKError>)>
        completion) {
  return remote_->downloadFile(relativeRemotePath, std::move(progress), std::move(completion));
}

void StorageFullDecorator::createDirectory(
    const std::string& relativeRemotePath,
    std::function<void(bool, std::optional<tessellon::Error>)> completion) {
  remote_->createDirectory(relativeRemotePath, std::move(completion));
}

void StorageFullDecorator::deleteFile(
    const std::string& relativeRemotePath,
    std::function<void(bool, std::optional<tessellon::Error>)> completion) {
  remote_->deleteFile(relativeRemotePath, std::move(completion));
}

void StorageFullDecorator::getDirectoryInfo(
    const std::string& relativeRemotePath,
    std::function<void(std::optional<tessellon::Directory>, std::optional<tessellon::Error>)>
        completion) {
  remote_->getDirectoryInfo(relativeRemotePath, std::move(completion));
}

void StorageFullDecorator::inflateZip(
    const std::string& remoteSrcPath, const std::string& remoteDstPath,
    std::function<void(std::optional<tessellon::Error>)> completion) {
  remote_->inflateZip(remoteSrcPath, remoteDstPath, std::move(completion));
}

int64_t StorageFullDecorator::getZipSize() { return remote_->getZipSize(); }

}  // namespace tessellon::cli
