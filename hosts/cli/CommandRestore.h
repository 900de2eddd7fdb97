#pragma once

#include "cli/CliOptions.h"

namespace CLI {
class App;
}

namespace tessellon::cli {

// `tessellon restore`: finds one device's backup on the folder remote, restores the chosen
// categories into the user's folders (never overwriting a file) and prints the report.
class CommandRestore {
 public:
  explicit CommandRestore(CLI::App& parent);

  CLI::App& command() const { return *command_; }
  const CliOptions& options() const { return options_; }
  int run();

 private:
  CLI::App* command_;
  CliOptions options_;
};

}  // namespace tessellon::cli
