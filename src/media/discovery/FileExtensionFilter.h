#pragma once

#include <string>
#include <vector>

#include "media/discovery/FileExtensionFilterProtocol.h"

namespace tessellon {

// The extension lists of the two media categories; stateless after construction.
class FileExtensionFilter final : public FileExtensionFilterProtocol {
 public:
  std::vector<PathData> onlyLeaveImages(std::vector<PathData> paths) const override;
  std::vector<PathData> onlyLeaveVideos(std::vector<PathData> paths) const override;
  std::vector<PathData> removeThumbnails(std::vector<PathData> paths) const override;
  std::vector<PathData> removePhotoLibraryPaths(std::vector<PathData> paths) const override;
  bool isPhotoLibraryPath(const PathData& path) const override;
  bool isImage(const PathData& path) const override;
  bool isVideo(const PathData& path) const override;
  bool isThumbnail(const PathData& path) const override;

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
