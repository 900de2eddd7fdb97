#include "tessellon/BackupSDKDelegate.h"

#include <utility>

#include "core/PathUtils.h"

namespace tessellon {
namespace {

std::string parentOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

// The interface takes the callbacks by value for the hosts that keep them; this default keeps none.
// NOLINTBEGIN(performance-unnecessary-value-param)
std::shared_ptr<CancellationDelegate> BackupSDKDelegate::readFile(
    const std::string&, std::function<bool(const char*, size_t)>,
    std::function<void(std::optional<BackupSDKError>)>) {
  return nullptr;
}
// NOLINTEND(performance-unnecessary-value-param)

void BackupSDKDelegate::uploadFileIfAbsent(
    const std::string& localPath, const std::string& relativeRemotePath,
    std::function<void(bool created, std::optional<Error>)> completion) {
  getDirectoryInfo(parentOf(relativeRemotePath),
                   [this, localPath, relativeRemotePath, completion = std::move(completion)](
                       std::optional<Directory> listing, std::optional<Error> error) {
                     if (!listing) {
                       completion(false,
                                  error ? std::move(error)
                                        : std::optional(makeError(
                                              BackupSDKError::delegateDirectoryInfoFailed,
                                              "cannot list the folder of " + relativeRemotePath)));
                       return;
                     }
                     const std::string name = PathUtils::lastComponent(relativeRemotePath);
                     for (const Member& member : listing->members) {
                       if (PathUtils::lastComponent(member.fullName) == name)
                         return completion(false, std::nullopt);
                     }
                     uploadFile(
                         localPath, relativeRemotePath, [](const TransferProgress&) {},
                         [completion](std::optional<Error> failure) {
                           const bool created = !failure;
                           completion(created, std::move(failure));
                         });
                   });
}

}  // namespace tessellon
