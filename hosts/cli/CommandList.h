#pragma once

#include "cli/CliOptions.h"

namespace CLI {
class App;
}

namespace tessellon::cli {

// `tessellon list`: the backups stored on the folder remote, one per device.
class CommandList {
 public:
  explicit CommandList(CLI::App& parent);

  CLI::App& command() const { return *command_; }
  const CliOptions& options() const { return options_; }
  int run();

 private:
  CLI::App* command_;
  CliOptions options_;
};

}  // namespace tessellon::cli
