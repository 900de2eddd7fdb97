#pragma once

#include <string_view>
#include <vector>

#include "media/discovery/PathData.h"

namespace tessellon {

// Sorts scanned paths into images and videos by extension and keeps photo-library internals out.
// Order is kept. Stateless and thread-safe.
class FileExtensionFilterProtocol {
 public:
  static constexpr std::string_view kProtocolName = "FileExtensionFilterProtocol";
  FileExtensionFilterProtocol() = default;
  virtual ~FileExtensionFilterProtocol() = default;
  FileExtensionFilterProtocol(const FileExtensionFilterProtocol&) = delete;
  FileExtensionFilterProtocol& operator=(const FileExtensionFilterProtocol&) = delete;

  // The paths whose file name ends in an image (video) extension, compared ignoring case.
  virtual std::vector<PathData> onlyLeaveImages(std::vector<PathData> paths) const = 0;
  virtual std::vector<PathData> onlyLeaveVideos(std::vector<PathData> paths) const = 0;
  // Drops the previews and thumbnails a photo library keeps under "resources".
  virtual std::vector<PathData> removeThumbnails(std::vector<PathData> paths) const = 0;
  // Drops everything inside a photo library; the libraries are scanned on their own.
  virtual std::vector<PathData> removePhotoLibraryPaths(std::vector<PathData> paths) const = 0;
  // Whether removePhotoLibraryPaths drops `path`.
  virtual bool isPhotoLibraryPath(const PathData& path) const = 0;
  // Whether onlyLeaveImages (onlyLeaveVideos) keeps `path`, and removeThumbnails drops it.
  virtual bool isImage(const PathData& path) const = 0;
  virtual bool isVideo(const PathData& path) const = 0;
  virtual bool isThumbnail(const PathData& path) const = 0;
};

}  // namespace tessellon
