#pragma once

#include "cli/CliOptions.h"

namespace CLI {
class App;
}

namespace tessellon::cli {

// `tessellon init`: creates the folder remote, the one verb that may; every other verb fails on a
// missing remote, so that a mistyped path or an unmounted disk is never filled by mistake.
class CommandInit {
 public:
  explicit CommandInit(CLI::App& parent);

  CLI::App& command() const { return *command_; }
  const CliOptions& options() const { return options_; }
  int run();

 private:
  CLI::App* command_;
  CliOptions options_;
};

}  // namespace tessellon::cli
