#pragma once

#include "cli/CliOptions.h"

namespace CLI {
class App;
}

namespace tessellon::cli {

class Configuration;

// `tessellon config`: the values the other verbs would use, and whether each came from a flag,
// the environment, the configuration file (with its line) or the defaults.
class CommandConfig {
 public:
  explicit CommandConfig(CLI::App& parent);

  CLI::App& command() const { return *command_; }
  const CliOptions& options() const { return options_; }
  // `configuration` has been applied to command().
  int run(const Configuration& configuration);

 private:
  CLI::App* command_;
  CliOptions options_;
};

}  // namespace tessellon::cli
