#include "media/discovery/FileExtensionFilter.h"

#include <algorithm>
#include <string_view>

#include "core/PathUtils.h"
#include "platform/text/AsciiText.h"

namespace tessellon {
namespace {

bool hasExtensionIn(const PathData& path, const std::vector<std::string>& formats) {
  const std::optional<std::string> name = PathUtils::getFileName(path.fullPath);
  if (!name || name->find('.') == std::string::npos) return false;
  const std::string extension = PathUtils::getFileExtension(*name);
  return std::any_of(formats.begin(), formats.end(), [&extension](const std::string& format) {
    return equalsIgnoringCase(extension, format);
  });
}

}  // namespace

std::vector<PathData> FileExtensionFilter::onlyLeaveImages(std::vector<PathData> paths) const {
  std::erase_if(paths, [this](const PathData& path) { return !isImage(path); });
  return paths;
}

std::vector<PathData> FileExtensionFilter::onlyLeaveVideos(std::vector<PathData> paths) const {
  std::erase_if(paths, [this](const PathData& path) { return !isVideo(path); });
  return paths;
}

std::vector<PathData> FileExtensionFilter::removeThumbnails(std::vector<PathData> paths) const {
  std::erase_if(paths, [this](const PathData& path) { return isThumbnail(path); });
  return paths;
}

std::vector<PathData> FileExtensionFilter::removePhotoLibraryPaths(
    std::vector<PathData> paths) const {
  std::erase_if(paths, [this](const PathData& path) { return isPhotoLibraryPath(path); });
  return paths;
}

bool FileExtensionFilter::isPhotoLibraryPath(const PathData& path) const {
  return path.fullPath.find(".photoslibrary") != std::string::npos;
}

bool FileExtensionFilter::isImage(const PathData& path) const {
  return hasExtensionIn(path, imageFormats);
}

bool FileExtensionFilter::isVideo(const PathData& path) const {
  return hasExtensionIn(path, videoFormats);
}

bool FileExtensionFilter::isThumbnail(const PathData& path) const {
  return path.fullPath.find(thumbnailFolderSubstring) != std::string::npos;
}

}  // namespace tessellon
