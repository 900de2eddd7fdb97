#include "platform/locations/LocationProvider.h"

#include <string_view>

#include "core/PathUtils.h"
#include "platform/files/PosixFiles.h"

namespace tessellon {
namespace {

constexpr std::string_view kPhotoLibrarySuffix = ".photoslibrary";

}  // namespace

LocationProvider::LocationProvider(std::shared_ptr<DirectoryUtilsProtocol> directoryUtils,
                                   std::shared_ptr<FileIOServiceProtocol> fileManager,
                                   std::optional<std::string> pictures,
                                   std::optional<std::string> movies)
    : directoryUtils_(std::move(directoryUtils)),
      fileManager_(std::move(fileManager)),
      pictures_(std::move(pictures)),
      movies_(std::move(movies)) {}

std::string LocationProvider::localHomeDirectory() const {
  return directoryUtils_->getRealHomeDirectory();
}

std::string LocationProvider::localImageDirectory() const {
  return pictures_ ? *pictures_ : PathUtils::combinePath({localHomeDirectory(), "Pictures"});
}

std::string LocationProvider::localVideoDirectory() const {
  return movies_ ? *movies_ : PathUtils::combinePath({localHomeDirectory(), "Movies"});
}

std::vector<std::string> LocationProvider::getPhotoLibraries(const std::string& directory) const {
  if (!fileManager_->exists(directory)) return {};
  // Its own walk over folders only: the scan of a large picture folder must not
  // pay a second look at every file for this.
  return posix::findFoldersEndingWith(directory, kPhotoLibrarySuffix);
}

}  // namespace tessellon
