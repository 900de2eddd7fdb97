// The `tessellon` command: preview, backup and list over the library, with a folder as the remote.

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/CommandBackup.h"
#include "cli/CommandList.h"
#include "cli/CommandPreview.h"
#include "cli/ExitStatus.h"

namespace {

using tessellon::cli::kExitError;
using tessellon::cli::kExitUsage;

constexpr const char* kVersionLine = "tessellon " TESSELLON_VERSION;
constexpr const char* kRestoreNotAvailable = "restore is not available yet in this build";

int usageError(const std::string& message) {
  std::cerr << "tessellon: " << message << "\nRun 'tessellon help' for usage.\n";
  return kExitUsage;
}

// The main help without delegating to the selected subcommand (which would be `help` itself).
void printUsage(const CLI::App& app) {
  std::cout << kVersionLine << "\n"
            << app.get_formatter()->make_help(&app, "tessellon", CLI::AppFormatMode::Normal);
}

int run(int argc, char** argv) {
  CLI::App app("Backs up pictures, videos, contacts and calendars to a remote storage.",
               "tessellon");
  app.set_version_flag("--version", kVersionLine, "Print the version and exit");
  app.require_subcommand(0, 1);
  app.footer(std::string("The verb ") + kRestoreNotAvailable +
             ". Run 'tessellon help <verb>' for the options of a verb.");

  CLI::App* help = app.add_subcommand("help", "Show this usage, or the usage of one command");
  std::string topic;
  help->add_option("command", topic, "The command to describe");

  tessellon::cli::CommandPreview preview(app);
  tessellon::cli::CommandBackup backup(app);
  tessellon::cli::CommandList list(app);
  CLI::App* restore =
      app.add_subcommand("restore", "Restore a backup without overwriting any file");
  restore->footer(std::string("Not available yet: ") + kRestoreNotAvailable + ".");
  // Accept restore's future arguments so that the answer is "not available", not a usage error.
  restore->allow_extras();
  const std::vector<CLI::App*> verbs = {&preview.command(), &backup.command(), &list.command(),
                                        restore};

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& success) {
    return app.exit(success);  // --help or --version, printed on standard output
  } catch (const CLI::ParseError& error) {
    return usageError(error.what());
  }

  if (help->parsed() && !topic.empty()) {
    for (CLI::App* command : verbs) {
      if (command->get_name() == topic) {
        std::cout << command->help("tessellon");
        return 0;
      }
    }
    if (topic != "help") return usageError("unknown command '" + topic + "'");
  }
  if (preview.command().parsed()) return preview.run();
  if (backup.command().parsed()) return backup.run();
  if (list.command().parsed()) return list.run();
  if (restore->parsed()) {
    std::cerr << "tessellon: " << kRestoreNotAvailable << ".\n";
    return kExitError;
  }
  printUsage(app);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& error) {
    std::cerr << "tessellon: " << error.what() << "\n";
    return kExitError;
  }
}
