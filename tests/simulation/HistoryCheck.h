#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "simulation/Invariants.h"

namespace tessellon::simulation {

// What the remote's history must give back. Before each run, the device's record is noted with the
// bytes of every file it references; after each run, the remote as of each moment noted so far
// must hold exactly those files, whatever the runs since replaced or removed and whatever faults
// they met.
class HistoryCheck {
 public:
  HistoryCheck(std::string remoteFolder, std::shared_ptr<Invariants> invariants);

  // Notes the record of `deviceFolder` as it is now, and returns the name a state made after this
  // moment may have.
  std::string before(const std::string& deviceFolder, const std::string& when);
  // Checks every moment noted so far against the remote as of it, and notes `deviceFolder` as
  // the run left it once it let the folder go: nothing of a run may land after that, so the
  // next before() must find it unchanged.
  void after(const std::string& deviceFolder, const std::string& when);

  // Each file of the device folder by its path in it, with its size and modification time.
  using Listing = std::map<std::string, std::pair<uintmax_t, int64_t>>;
  static Listing listing(const std::string& deviceFolder);

 private:
  struct Moment {
    std::chrono::system_clock::time_point at;
    std::string when;
    std::map<std::string, size_t> files;  // path below the remote -> hash of its bytes
  };

  std::string remoteFolder_;
  std::shared_ptr<Invariants> invariants_;
  std::vector<Moment> moments_;
  std::optional<std::pair<std::string, Listing>> ended_;  // the last run's name and listing
};

}  // namespace tessellon::simulation
