#pragma once

#include <string>

#include "cli/CliOptions.h"

namespace CLI {
class App;
}

namespace tessellon::cli {

class Session;

// `tessellon backup`: backs up the chosen categories to the folder remote and prints the report.
class CommandBackup {
 public:
  explicit CommandBackup(CLI::App& parent);

  CLI::App& command() const { return *command_; }
  const CliOptions& options() const { return options_; }
  int run();

 private:
  void expireHistory(Session& session, const std::string& deviceID) const;

  CLI::App* command_;
  CliOptions options_;
};

}  // namespace tessellon::cli
