#pragma once

#include <cstdint>
#include <string>

namespace tessellon {

// Progress of a backup or restore: files and bytes, in all and done so far.
// Hosts receive snapshots of it.
struct FileStatus {
  int overall = 0;
  int processed = 0;
  int64_t overallBytes = 0;
  int64_t processedBytes = 0;

  // "overall=3 processed=1 overallBytes=300 processedBytes=100".
  std::string description() const;

  friend bool operator==(const FileStatus&, const FileStatus&) = default;
};

}  // namespace tessellon
