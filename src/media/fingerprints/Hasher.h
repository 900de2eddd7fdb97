#pragma once

#include "media/fingerprints/HasherProtocol.h"

namespace tessellon {

// The container's HasherProtocol handle; stateless.
class Hasher final : public HasherProtocol {};

}  // namespace tessellon
