#pragma once

#include "cli/CliOptions.h"

namespace CLI {
class App;
}

namespace tessellon::cli {

// `tessellon preview`: shows what a backup with the same options would transfer, nothing more.
class CommandPreview {
 public:
  explicit CommandPreview(CLI::App& parent);

  CLI::App& command() const { return *command_; }
  const CliOptions& options() const { return options_; }
  int run();

 private:
  CLI::App* command_;
  CliOptions options_;
};

}  // namespace tessellon::cli
