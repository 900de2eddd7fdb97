#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "simulation/Action.h"
#include "simulation/HomeModel.h"

namespace tessellon::simulation {

// The data contract, checked from outside the library on the remote's folder, the home's disk
// and a restored home. Every check adds one line per broken promise, prefixed with `when`; the
// remote's hooks call in from the library's threads, so the list is guarded.
class Invariants {
 public:
  // I1: each document "backup.json" claims is there with the claimed count, and each media item
  // they list is a file under its name with its size (and, for small files, its fingerprint).
  void storedRecord(const std::string& deviceFolder, const std::string& when);
  // I1 for a finished run: every file of `seen` in a category of `settings`, except `changed`
  // ones, is an item of the stored record under its path, with its size and fingerprint.
  void everySeenFileStored(const std::string& deviceFolder, const Tree& seen,
                           const RunSettings& settings, const std::vector<std::string>& changed,
                           const std::string& when);
  // I2: every file of `seen`, except `changed` ones, is in `restored` at its path or beside it
  // under a numbered name, with its bytes and modification time; cards and events by count.
  void restored(const Tree& seen, const RunSettings& settings,
                const std::vector<std::string>& changed, const Tree& restored,
                const std::string& when);
  // I3: `after` still holds every file of `before` unchanged.
  void untouched(const Tree& before, const Tree& after, const std::string& when);
  // I4, before the host deletes `path` (relative to the device folder).
  void deletion(const std::string& deviceFolder, const std::string& path, const std::string& when);
  // I4, before the host inflates `archive` into the device folder: no media file the record
  // references may be replaced by other bytes.
  void inflation(const std::string& deviceFolder, const std::string& archive,
                 const std::string& when);

  void add(std::string violation);
  std::vector<std::string> violations() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> violations_;
  std::set<std::string> reported_;
};

}  // namespace tessellon::simulation
