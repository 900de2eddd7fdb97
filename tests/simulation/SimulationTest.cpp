// Seeded histories of user actions, backup runs under faults and restores, played through the
// facade. Every seed must keep the data contract. TESSELLON_SIM_SEED=<n> plays one seed alone;
// TESSELLON_SIM_SEEDS and TESSELLON_SIM_FIRST_SEED choose a range.

#include <cstdlib>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "simulation/Simulator.h"

namespace tessellon::simulation {
namespace {

// ctest runs the shards as tests of their own, so they can run side by side.
constexpr int kShards = 4;
#ifdef TESSELLON_SIM_SANITIZED
constexpr int kDefaultSeeds = 40;
#else
constexpr int kDefaultSeeds = 300;
#endif
constexpr size_t kFullReports = 3;

int fromEnvironment(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

std::vector<uint32_t> seedsOfShard(int shard) {
  if (const int one = fromEnvironment("TESSELLON_SIM_SEED", 0); one > 0) {
    return shard == 0 ? std::vector<uint32_t>{static_cast<uint32_t>(one)} : std::vector<uint32_t>{};
  }
  const int first = fromEnvironment("TESSELLON_SIM_FIRST_SEED", 1);
  const int count = fromEnvironment("TESSELLON_SIM_SEEDS", kDefaultSeeds);
  std::vector<uint32_t> seeds;
  for (int seed = first; seed < first + count; ++seed) {
    if (seed % kShards == shard) seeds.push_back(static_cast<uint32_t>(seed));
  }
  return seeds;
}

// A violation without its run number, paths and numbers, so seeds that found the same fault
// count together.
std::string kindOf(const std::string& violation) {
  static const std::regex kRun("^[a-z ]*\\d*( after inflateZip)?: ");
  static const std::regex kVariable("\\b(?!I[1-4]\\b)[\\w.]*\\d[\\w.]*");
  return std::regex_replace(std::regex_replace(violation, kRun, ""), kVariable, "#");
}

class SimulationTest : public ::testing::TestWithParam<int> {};

TEST_P(SimulationTest, EverySeedKeepsTheDataContract) {
  std::vector<std::string> reports;
  std::map<std::string, std::vector<uint32_t>> seedsByKind;
  for (const uint32_t seed : seedsOfShard(GetParam())) {
    Simulator simulator(seed, TESSELLON_CLI_PATH);
    const std::vector<std::string> violations = simulator.run();
    if (!violations.empty()) {
      std::string report = "seed " + std::to_string(seed) +
                           " (alone: TESSELLON_SIM_SEED=" + std::to_string(seed) + ")\n";
      for (const std::string& violation : violations) {
        report += "  " + violation + "\n";
        auto& seeds = seedsByKind[kindOf(violation)];
        if (seeds.empty() || seeds.back() != seed) seeds.push_back(seed);
      }
      reports.push_back(report + simulator.history());
    }
    if (simulator.stuck()) {
      ADD_FAILURE() << "seed " << seed << " left an operation running; later seeds skipped";
      break;
    }
  }
  std::string summary;
  for (const auto& [kind, seeds] : seedsByKind) {
    summary += std::to_string(seeds.size()) + " seeds (first " + std::to_string(seeds.front()) +
               "): " + kind + "\n";
  }
  for (size_t i = 0; i < reports.size() && i < kFullReports; ++i) summary += "\n" + reports[i];
  EXPECT_TRUE(reports.empty()) << reports.size() << " seeds broke the contract:\n" << summary;
}

INSTANTIATE_TEST_SUITE_P(Shards, SimulationTest, ::testing::Range(0, kShards));

}  // namespace
}  // namespace tessellon::simulation
