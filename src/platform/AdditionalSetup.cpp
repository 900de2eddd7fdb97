#include "platform/AdditionalSetup.h"

namespace tessellon {

void AdditionalSetup::setupIoC(const PlatformRoots& roots) {
  // No platform service exists yet; the media, location and store
  // implementations register here over `roots`.
  (void)roots;
}

}  // namespace tessellon
