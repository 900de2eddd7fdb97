#pragma once

#include <chrono>

namespace tessellon {

// An instant with millisecond precision: the precision of every stored date.
// Times read from the file system are truncated to it, so an item scanned now
// equals the same item read back from a stored document.
using Date = std::chrono::time_point<std::chrono::system_clock, std::chrono::milliseconds>;

// The current instant at that precision.
inline Date currentDate() {
  return std::chrono::time_point_cast<std::chrono::milliseconds>(std::chrono::system_clock::now());
}

}  // namespace tessellon
