#include "cli/StorageFullDecorator.h"

#include <utility>

namespace tessellon::cli {

StorageFullDecorator::StorageFullDecorator(std::shared_ptr<tessellon::BackupSDKDelegate> remote)
    : ForwardingDelegate(std::move(remote)),
      storageFull_(std::make_shared<std::atomic<bool>>(false)) {}

std::shared_ptr<tessellon::CancellationDelegate> StorageFullDecorator::uploadFile(
    const std::string& localPath, const std::string& relativeRemotePath,
    std::function<void(const tessellon::TransferProgress&)> progress,
    std::function<void(std::optional<tessellon::Error>)> completion) {
  return inner().uploadFile(localPath, relativeRemotePath, std::move(progress),
                            noting(std::move(completion)));
}

void StorageFullDecorator::inflateZip(const std::string& remoteSrcPath,
                                      const std::string& remoteDstPath,
                                      std::function<void(std::optional<Error>)> completion) {
  inner().inflateZip(remoteSrcPath, remoteDstPath, noting(std::move(completion)));
}

std::function<void(std::optional<Error>)> StorageFullDecorator::noting(
    std::function<void(std::optional<Error>)> completion) const {
  return [full = storageFull_, completion = std::move(completion)](std::optional<Error> error) {
    if (error && error->code == kInsufficientStorage) full->store(true);
    completion(std::move(error));
  };
}

}  // namespace tessellon::cli
