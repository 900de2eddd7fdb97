#pragma once

#include <cstdint>
#include <optional>

#include "tessellon/Date.h"

namespace tessellon {

// The identifier of this process as the system numbers it; a lock record names its holder by it.
int64_t currentProcessID();

// False only when no process of this identifier runs on this machine (one that belongs to another
// user still counts as running).
bool isProcessRunning(int64_t pid);

// When the running process of this identifier started, to about a second; nothing when it does
// not run or the system does not say. Tells a holder from a later process given its identifier.
std::optional<Date> processStartTime(int64_t pid);

}  // namespace tessellon
