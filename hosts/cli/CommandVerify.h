#pragma once

#include "cli/CliOptions.h"

namespace CLI {
class App;
}

namespace tessellon::cli {

// `tessellon verify`: checks one device's backup on the folder remote against its own record
// and names every missing or damaged file.
class CommandVerify {
 public:
  explicit CommandVerify(CLI::App& parent);

  CLI::App& command() const { return *command_; }
  const CliOptions& options() const { return options_; }
  int run();

 private:
  CLI::App* command_;
  CliOptions options_;
  bool readData_ = false;
};

}  // namespace tessellon::cli
