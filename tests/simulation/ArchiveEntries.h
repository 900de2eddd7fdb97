#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessellon::simulation {

// One entry of a ZIP archive, with its bytes (the simulator's archives are small).
struct ArchiveEntry {
  std::string name;
  int64_t size = 0;
  std::string content;
};

// The entries of the archive at `path`, in order; empty when it cannot be read.
std::vector<ArchiveEntry> archiveEntries(const std::string& path);

}  // namespace tessellon::simulation
