#pragma once

#include <string_view>

#include "media/discovery/MediaItemRepositoryProtocol.h"

namespace tessellon {

// The images of this machine (see MediaItemRepositoryProtocol).
class ImageRepositoryProtocol : public virtual MediaItemRepositoryProtocol {
 public:
  static constexpr std::string_view kProtocolName = "ImageRepositoryProtocol";
};

}  // namespace tessellon
