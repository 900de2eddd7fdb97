#pragma once

#include <string_view>

#include "media/MediaServiceProtocol.h"

namespace tessellon {

// The images as the backup and restore pipelines see them.
class ImageServiceProtocol : public virtual MediaServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "ImageServiceProtocol";
};

}  // namespace tessellon
