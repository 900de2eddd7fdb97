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
  return inner().uploadFile(
      localPath, relativeRemotePath, std::move(progress),
      [full = storageFull_, completion = std::move(completion)](std::optional<Error> error) {
        if (error && error->code == kInsufficientStorage) full->store(true);
        completion(std::move(error));
      });
}

}  // namespace tessellon::cli
