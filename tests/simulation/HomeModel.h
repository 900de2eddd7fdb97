#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "simulation/Action.h"

namespace tessellon::simulation {

// A file as the user left it.
struct FileState {
  std::string content;
  int64_t mtimeMs = 0;

  friend bool operator==(const FileState&, const FileState&) = default;
};

// Files by path relative to a root ("Pictures/a.jpg").
using Tree = std::map<std::string, FileState>;

// The home as the user made it: the files that should be on disk, kept beside the disk itself.
// User actions go through here, so the two only differ when something else changed the disk.
// Used by one thread at a time (a run's hook while the simulator waits for the run).
class HomeModel {
 public:
  explicit HomeModel(std::string root);

  // Does a write, remove, touch, rename or copy on the disk and in the model.
  void apply(const Action& action);
  // Writes `file` at `path` in place, as an editor that truncates and rewrites would.
  void put(const std::string& path, const FileState& file);

  const std::string& root() const { return root_; }
  const Tree& files() const { return files_; }
  // Model paths below `folder` ("Pictures"), in order.
  std::vector<std::string> pathsBelow(const std::string& folder) const;

  // Every regular file below `root`, read from the disk.
  static Tree read(const std::string& root);

 private:
  std::string root_;
  Tree files_;
};

}  // namespace tessellon::simulation
