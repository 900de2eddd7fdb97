#pragma once

#include <cstdio>
#include <fstream>
#include <string>

namespace tessellon::bench {

// Prints the one line bench/run-all collects,
// "BENCH <name> <value> <unit> target <op> <target> PASS|MISS", and returns
// whether the target was met. `op` is "<=" or ">=".
inline bool reportBench(const char* name, double value, int decimals, const char* unit,
                        const char* op, double target) {
  const bool met = std::string(op) == "<=" ? value <= target : value >= target;
  std::printf("BENCH %s %.*f %s target %s %g %s\n", name, decimals, value, unit, op, target,
              met ? "PASS" : "MISS");
  std::fflush(stdout);
  return met;
}

// A field of /proc/self/status ("VmRSS", "VmHWM") in MiB.
inline double procStatusMb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field + ":", 0) == 0) return std::stod(line.substr(field.size() + 1)) / 1024.0;
  }
  return 0;
}

}  // namespace tessellon::bench
