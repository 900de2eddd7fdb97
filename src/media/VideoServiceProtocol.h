#pragma once

#include <string_view>

#include "media/MediaServiceProtocol.h"

namespace tessellon {

// The videos as the backup and restore pipelines see them.
class VideoServiceProtocol : public virtual MediaServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "VideoServiceProtocol";
};

}  // namespace tessellon
