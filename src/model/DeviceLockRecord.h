#pragma once

#include <cstdint>
#include <string>

#include "tessellon/Date.h"

namespace tessellon {

// Who holds a device folder's lock ("<uid>/lock.json") and since when. "refreshed" moves on
// while the holder runs; a lock whose holder stopped refreshing is stale.
struct DeviceLockRecord {
  std::string host;
  int64_t pid = 0;
  Date started;
  Date refreshed;

  friend bool operator==(const DeviceLockRecord&, const DeviceLockRecord&) = default;
};

}  // namespace tessellon
