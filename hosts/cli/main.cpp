// The `tessellon` command: init, preview, backup, list, restore, verify and config over the
// library, with a folder, a WebDAV server or an S3 bucket as the remote.

#include <malloc.h>
#include <exception>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/CommandBackup.h"
#include "cli/CommandConfig.h"
#include "cli/CommandFailure.h"
#include "cli/CommandHistory.h"
#include "cli/CommandInit.h"
#include "cli/CommandList.h"
#include "cli/CommandPreview.h"
#include "cli/CommandRestore.h"
#include "cli/CommandVerify.h"
#include "cli/Configuration.h"
#include "cli/ConfigurationError.h"
#include "cli/ExitStatus.h"

namespace {

using tessellon::cli::kExitError;
using tessellon::cli::kExitUsage;

constexpr const char* kVersionLine = "tessellon " TESSELLON_VERSION;

int usageError(const std::string& message) {
  std::cerr << "tessellon: " << message << "\nRun 'tessellon help' for usage.\n";
  return kExitUsage;
}

// Runs a verb; its own failures, and a remote that cannot be opened, end as any error does (in
// JSON too with --json).
template <class Command>
int runVerb(Command& command) {
  try {
    return command.run();
  } catch (const tessellon::cli::CommandFailure& failure) {
    return tessellon::cli::failWith(failure.error(), command.options());
  } catch (const std::runtime_error& error) {
    return tessellon::cli::failWith(
        tessellon::Error{tessellon::cli::kCommandErrorDomain,
                         static_cast<int>(tessellon::cli::CommandError::unusableRemote),
                         error.what()},
        command.options());
  }
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
  app.footer("Run 'tessellon help <verb>' for the options of a verb.");

  CLI::App* help = app.add_subcommand("help", "Show this usage, or the usage of one command");
  std::string topic;
  help->add_option("command", topic, "The command to describe");

  tessellon::cli::CommandInit init(app);
  tessellon::cli::CommandPreview preview(app);
  tessellon::cli::CommandBackup backup(app);
  tessellon::cli::CommandList list(app);
  tessellon::cli::CommandRestore restore(app);
  tessellon::cli::CommandVerify verify(app);
  tessellon::cli::CommandHistory history(app);
  tessellon::cli::CommandConfig config(app);
  const std::vector<CLI::App*> verbs = {&init.command(),    &preview.command(), &backup.command(),
                                        &list.command(),    &restore.command(), &verify.command(),
                                        &history.command(), &config.command()};

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
  // Every verb reads the file and the variables, so a bad one is named whatever the verb.
  std::optional<tessellon::cli::Configuration> configuration;
  for (CLI::App* command : verbs) {
    if (!command->parsed()) continue;
    try {
      configuration =
          tessellon::cli::Configuration::load(tessellon::cli::Configuration::defaultFile());
      configuration->applyTo(*command);
    } catch (const tessellon::cli::ConfigurationError& error) {
      std::cerr << "tessellon: " << error.what() << "\n";
      return kExitUsage;
    }
  }
  if (init.command().parsed()) return runVerb(init);
  if (preview.command().parsed()) return runVerb(preview);
  if (backup.command().parsed()) return runVerb(backup);
  if (list.command().parsed()) return runVerb(list);
  if (restore.command().parsed()) return runVerb(restore);
  if (verify.command().parsed()) return runVerb(verify);
  if (history.command().parsed()) return runVerb(history);
  if (config.command().parsed()) return config.run(*configuration);
  printUsage(app);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // A backup's large structures are made and freed on several threads; glibc gives each thread an
  // arena of its own (up to eight per core), where freed memory waits for that arena's next
  // allocation. Four arenas keep a large library's peak memory about a tenth lower at no cost in
  // speed; a host sets this, as it is the process's policy, not the library's.
  (void)mallopt(M_ARENA_MAX, 4);
  try {
    return run(argc, argv);
  } catch (const std::exception& error) {
    std::cerr << "tessellon: " << error.what() << "\n";
    return kExitError;
  }
}
