#pragma once

#include "cli/CliOptions.h"

namespace CLI {
class App;
}

namespace tessellon::cli {

// `tessellon backup`: backs up the chosen categories to the folder remote and prints the report.
class CommandBackup {
 public:
  explicit CommandBackup(CLI::App& parent);

  CLI::App& command() const { return *command_; }
  const CliOptions& options() const { return options_; }
  int run();

 private:
  CLI::App* command_;
  CliOptions options_;
};

}  // namespace tessellon::cli
