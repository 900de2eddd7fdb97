#include "platform/locations/LocationProvider.h"

#include <algorithm>
#include <filesystem>
#include <string_view>

#include "media/PathUtils.h"

namespace tessellon {
namespace {

constexpr std::string_view kPhotoLibrarySuffix = ".photoslibrary";

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

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
  std::vector<std::string> libraries;
  if (!fileManager_->exists(directory)) return libraries;
  // Only folders are visited and a bundle is not entered: the scan of a large
  // picture folder must not pay a second walk over every file for this.
  namespace fs = std::filesystem;
  std::error_code error;
  fs::recursive_directory_iterator it(directory, fs::directory_options::skip_permission_denied,
                                      error);
  for (const fs::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
    std::error_code typeError;
    if (it->is_symlink(typeError) || !it->is_directory(typeError)) {
      continue;
    }
    const std::string name = it->path().filename().string();
    if (!endsWith(name, kPhotoLibrarySuffix)) continue;
    libraries.push_back(it->path().lexically_relative(directory).string());
    it.disable_recursion_pending();
  }
  std::sort(libraries.begin(), libraries.end());
  return libraries;
}

}  // namespace tessellon
