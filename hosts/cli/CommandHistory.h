#pragma once

#include "cli/CliOptions.h"

namespace CLI {
class App;
}

namespace tessellon::cli {

// `tessellon history`: lists the earlier versions one device's folder on the remote keeps, one
// line per backup that replaced or removed files, with its date and what it kept.
class CommandHistory {
 public:
  explicit CommandHistory(CLI::App& parent);

  CLI::App& command() const { return *command_; }
  const CliOptions& options() const { return options_; }
  int run();

 private:
  CLI::App* command_;
  CliOptions options_;
};

}  // namespace tessellon::cli
