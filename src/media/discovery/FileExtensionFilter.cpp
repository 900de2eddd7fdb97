#include "media/discovery/FileExtensionFilter.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "media/PathUtils.h"

namespace tessellon {
namespace {

bool equalsIgnoringCase(std::string_view left, std::string_view right) {
  return left.size() == right.size() &&
         std::equal(left.begin(), left.end(), right.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

std::vector<PathData> withExtensionIn(std::vector<PathData> paths,
                                      const std::vector<std::string>& formats) {
  std::erase_if(paths, [&formats](const PathData& path) {
    const std::optional<std::string> name = PathUtils::getFileName(path.fullPath);
    if (!name || name->find('.') == std::string::npos) return true;
    const std::string extension = PathUtils::getFileExtension(*name);
    return std::none_of(formats.begin(), formats.end(), [&extension](const std::string& format) {
      return equalsIgnoringCase(extension, format);
    });
  });
  return paths;
}

std::vector<PathData> without(std::vector<PathData> paths, std::string_view substring) {
  std::erase_if(paths, [substring](const PathData& path) {
    return path.fullPath.find(substring) != std::string::npos;
  });
  return paths;
}

}  // namespace

std::vector<PathData> FileExtensionFilter::onlyLeaveImages(std::vector<PathData> paths) const {
  return withExtensionIn(std::move(paths), imageFormats);
}

std::vector<PathData> FileExtensionFilter::onlyLeaveVideos(std::vector<PathData> paths) const {
  return withExtensionIn(std::move(paths), videoFormats);
}

std::vector<PathData> FileExtensionFilter::removeThumbnails(std::vector<PathData> paths) const {
  return without(std::move(paths), thumbnailFolderSubstring);
}

std::vector<PathData> FileExtensionFilter::removePhotoLibraryPaths(
    std::vector<PathData> paths) const {
  std::erase_if(paths, [this](const PathData& path) { return isPhotoLibraryPath(path); });
  return paths;
}

bool FileExtensionFilter::isPhotoLibraryPath(const PathData& path) const {
  return path.fullPath.find(".photoslibrary") != std::string::npos;
}

}  // namespace tessellon
