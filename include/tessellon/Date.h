#pragma once

#include <chrono>

namespace tessellon {

// An instant with millisecond precision: the precision of every stored date.
// Times read from the file system are truncated to it, so an item scanned now
// equals the same item read back from a stored document.
using Date = std::chrono::time_point<std::chrono::system_clock, std::chrono::milliseconds>;

}  // namespace tessellon
