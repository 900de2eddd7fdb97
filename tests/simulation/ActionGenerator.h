#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "simulation/Action.h"
#include "simulation/HomeModel.h"

namespace tessellon::simulation {

// Draws a history from one seed: the first files of a home, what the user does to it between
// runs, and the settings and faults of each run. The same seed and the same home give the same
// actions. Modification times only move forward, each at least two seconds past the last, so
// every change is one a backup can see.
class ActionGenerator {
 public:
  explicit ActionGenerator(uint32_t seed);

  // A home of a dozen or so pictures and a few movies, a few KB each (some a few dozen).
  ActionList initialHome();
  // How many things the user does before the next run: zero to three.
  int userActionCount() { return below(4); }
  // One thing the user does to the home `model` holds.
  Action userAction(const HomeModel& model);
  // A backup run with random settings, under random faults unless `faultFree`.
  Action backup(bool faultFree);
  // A new file in the picture or movie folder of `model`'s home (`folder` chosen when empty).
  Action newFile(std::string folder = "");
  // New bytes for `path`, smaller or larger than `size`.
  Action rewrite(const std::string& path, size_t size);

  bool chance(int percent);

 private:
  int below(int bound);
  template <class T>
  const T& pick(const std::vector<T>& list) {
    return list[static_cast<size_t>(below(static_cast<int>(list.size())))];
  }
  int64_t nextTime();
  Action renameOf(const HomeModel& model);
  Action copyOf(const HomeModel& model);
  FaultPlan faults();

  std::mt19937 random_;
  uint32_t nextContent_;
  int nextName_ = 1;
  int64_t clockMs_;
};

}  // namespace tessellon::simulation
