#pragma once

#include <cstdint>

namespace tessellon {

// The identifier of this process as the system numbers it; a lock record names its holder by it.
int64_t currentProcessID();

// False only when no process of this identifier runs on this machine (one that belongs to another
// user still counts as running).
bool isProcessRunning(int64_t pid);

}  // namespace tessellon
