#pragma once

#include "media/MediaPathUtilProtocol.h"

namespace tessellon {

// The container's MediaPathUtilProtocol handle; stateless.
class MediaPathUtil final : public MediaPathUtilProtocol {};

}  // namespace tessellon
