#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "media/discovery/PathData.h"

namespace tessellon {

// Sorts scanned paths into images and videos by the extension lists of the two categories, and
// keeps photo-library internals out. Order is kept. Stateless after construction; thread-safe.
class FileExtensionFilter final {
 public:
  static constexpr std::string_view kProtocolName = "FileExtensionFilter";
  // The paths whose file name ends in an image (video) extension, compared ignoring case.
  std::vector<PathData> onlyLeaveImages(std::vector<PathData> paths) const;
  std::vector<PathData> onlyLeaveVideos(std::vector<PathData> paths) const;
  // Drops the previews and thumbnails a photo library keeps under "resources".
  std::vector<PathData> removeThumbnails(std::vector<PathData> paths) const;
  // Drops everything inside a photo library; the libraries are scanned on their own.
  std::vector<PathData> removePhotoLibraryPaths(std::vector<PathData> paths) const;
  // Whether removePhotoLibraryPaths drops `path`.
  bool isPhotoLibraryPath(const PathData& path) const;
  // Whether onlyLeaveImages (onlyLeaveVideos) keeps `path`, and removeThumbnails drops it.
  bool isImage(const PathData& path) const;
  bool isVideo(const PathData& path) const;
  bool isThumbnail(const PathData& path) const;

  const std::vector<std::string> imageFormats{
      "bmp",    "cur",  "dcx",  "dds", "eps",  "flc",  "fli",   "fpx",  "ftex",   "gbr", "gd",
      "gif",    "icns", "ico",  "im",  "imt",  "iptc", "jpeg",  "jpg",  "mcidas", "mic", "mpo",
      "msp",    "naa",  "palm", "pcd", "pcx",  "pdf",  "pixar", "png",  "ppm",    "psd", "sgi",
      "spider", "tga",  "tiff", "wal", "webp", "xbm",  "xpm",   "heif", "heic"};
  const std::vector<std::string> videoFormats{
      "avi", "divx", "mkv", "mk3d", "mka", "mks", "flv",  "f4v", "mpg", "mpeg", "vob", "m2p",
      "ts",  "mp4",  "m4v", "swf",  "3gp", "3g2", "3gpp", "mov", "wmv", "asf",  "hevc"};
  const std::string thumbnailFolderSubstring = ".photoslibrary/resources";
};

}  // namespace tessellon
