#pragma once

#include <string_view>

#include "media/discovery/MediaItemRepositoryProtocol.h"

namespace tessellon {

// The videos of this machine (see MediaItemRepositoryProtocol).
class VideoRepositoryProtocol : public virtual MediaItemRepositoryProtocol {
 public:
  static constexpr std::string_view kProtocolName = "VideoRepositoryProtocol";
};

}  // namespace tessellon
