// The `tessellon` command; each verb lands with the pipeline it drives.

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace {

constexpr int kUsageError = 2;
constexpr const char* kVersionLine = "tessellon " TESSELLON_VERSION;
constexpr const char* kNotAvailable = "not available yet in this build";

struct Verb {
  const char* name;
  const char* summary;
};

constexpr Verb kVerbs[] = {
    {"preview", "Show what a backup would transfer"},
    {"backup", "Back up pictures, videos, contacts and calendars"},
    {"list", "List the backups stored on the remote"},
    {"restore", "Restore a backup without overwriting any file"},
};

int usageError(const std::string& message) {
  std::cerr << "tessellon: " << message << "\nRun 'tessellon help' for usage.\n";
  return kUsageError;
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
  app.footer(std::string("The verbs preview, backup, list and restore are ") + kNotAvailable + ".");

  CLI::App* help = app.add_subcommand("help", "Show this usage, or the usage of one command");
  std::string topic;
  help->add_option("command", topic, "The command to describe");

  std::vector<CLI::App*> verbs;
  for (const Verb& verb : kVerbs) {
    CLI::App* command = app.add_subcommand(verb.name, verb.summary);
    command->footer(std::string("This command is ") + kNotAvailable + ".");
    // Accept the verbs' future arguments so that the answer is "not available", not a usage error.
    command->allow_extras();
    verbs.push_back(command);
  }

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
    if (topic != "help") {
      return usageError("unknown command '" + topic + "'");
    }
  }
  for (CLI::App* command : verbs) {
    if (command->parsed()) {
      std::cerr << "tessellon: " << command->get_name() << " is " << kNotAvailable << ".\n";
      return 1;
    }
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
    return 1;
  }
}
