#pragma once

#include "platform/locations/PlatformRoots.h"

namespace tessellon {

// Registers the platform implementations (files, locations, media access,
// stores) over `roots`. Runs after the core registrations; the only place that
// names platform classes.
class AdditionalSetup {
 public:
  static void setupIoC(const PlatformRoots& roots);
};

}  // namespace tessellon
