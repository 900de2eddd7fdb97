#include "platform/locations/LocationProvider.h"

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
  auto listed = fileManager_->subpathsOfDirectory(directory);
  std::vector<std::string> libraries;
  if (!listed.ok()) return libraries;
  for (auto& path : listed.value()) {
    if (endsWith(path, kPhotoLibrarySuffix)) libraries.push_back(std::move(path));
  }
  return libraries;
}

}  // namespace tessellon
