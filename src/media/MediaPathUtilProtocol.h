#pragma once

#include <string_view>

namespace tessellon {

// An injectable path handle of the media repositories and the restore-side item helper. It has no
// operations of its own; media paths are built with PathUtils.
class MediaPathUtilProtocol {
 public:
  static constexpr std::string_view kProtocolName = "MediaPathUtilProtocol";
  MediaPathUtilProtocol() = default;
  virtual ~MediaPathUtilProtocol() = default;
  MediaPathUtilProtocol(const MediaPathUtilProtocol&) = delete;
  MediaPathUtilProtocol& operator=(const MediaPathUtilProtocol&) = delete;
};

}  // namespace tessellon
