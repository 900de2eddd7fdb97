#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "simulation/FaultPlan.h"

namespace tessellon::simulation {

// The settings of one backup run.
struct RunSettings {
  bool images = true;
  bool videos = true;
  bool contacts = false;
  bool calendars = false;
  bool keepDeletedItems = false;
  int64_t zipSize = 0;
};

// One step of a simulated history: something the user does to the home, or a backup run. Paths
// are relative to the home ("Pictures/2019/a.jpg").
struct Action {
  enum class Kind {
    write,    // `path` gets `size` bytes of content `seed`, modified at `mtimeMs` (add or modify)
    remove,   // `path` is deleted
    touch,    // `path` gets modification time `mtimeMs`, content unchanged
    patch,    // `path` gets its byte at offset `size` changed and `mtimeMs`; its size stays
    rename,   // `path` moves to `target` (also across folders and between Pictures and Movies)
    copy,     // `path` is copied to `target` with its modification time
    restart,  // the host drops its BackupSDK and makes a new one
    backup,   // a backup run with `settings` under `faults`
    note,     // `path` says what happened beside the user's actions
  };

  Kind kind = Kind::write;
  std::string path;
  std::string target;
  uint32_t seed = 0;
  size_t size = 0;
  int64_t mtimeMs = 0;
  RunSettings settings;
  FaultPlan faults;
  bool duringRun = false;  // done by a run's hook while the run was under way

  static Action of(Kind kind, std::string path = "") {
    Action action;
    action.kind = kind;
    action.path = std::move(path);
    return action;
  }

  std::string describe() const;
};

using ActionList = std::vector<Action>;

}  // namespace tessellon::simulation
