#include "cli/CommandConfig.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/Configuration.h"
#include "cli/ExitStatus.h"
#include "cli/RemoteSelection.h"

namespace tessellon::cli {

namespace {

using Source = Configuration::Source;

const char* sourceName(Source source) {
  switch (source) {
    case Source::byDefault:
      return "default";
    case Source::file:
      return "file";
    case Source::environment:
      return "environment";
    case Source::flag:
      return "flag";
  }
  return "";
}

// "flag --remote", "environment TESSELLON_REMOTE", "/home/u/.config/tessellon/config.toml:3".
std::string originText(const Configuration::Setting& setting, const std::string& file) {
  switch (setting.source) {
    case Source::flag:
      return "flag " + setting.flag;
    case Source::environment:
      return "environment " + setting.variable;
    case Source::file:
      return file + ":" + std::to_string(setting.line);
    case Source::byDefault:
      break;
  }
  return "default";
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ",") + name;
  return text;
}

}  // namespace

CommandConfig::CommandConfig(CLI::App& parent)
    : command_(parent.add_subcommand(
          "config", "Show the settings the other commands use and where each comes from")) {
  addRemoteOption(*command_, options_);
  addSourceOptions(*command_, options_);
  addArchiveSizeOption(*command_, options_);
  addOutputOptions(*command_, options_);
  command_->footer(
      "Settings come from the flags, else the TESSELLON_* variables, else the file "
      "$XDG_CONFIG_HOME/tessellon/config.toml (default ~/.config/tessellon/config.toml), else the "
      "defaults; flags given here show as they would act on the other verbs. A file or variable "
      "that cannot be used is a usage error naming it. Exit status: 0 done, 2 usage error.");
}

int CommandConfig::run(const Configuration& configuration) {
  const tessellon::BackupSDKOptions folders = chosenFolders(options_);
  const auto& history = configuration.setting("history_days");
  const int historyDays =
      history.values.empty() ? Configuration::kDefaultHistoryDays : std::stoi(history.values[0]);

  const nlohmann::json values = {
      {"remote", remoteName(options_)},
      {"folders.pictures", *folders.picturesDirectory},
      {"folders.movies", *folders.moviesDirectory},
      {"folders.contacts", *folders.contactsDirectory},
      {"folders.calendars", *folders.calendarsDirectory},
      {"categories",
       options_.only.empty() ? nlohmann::json(nullptr) : nlohmann::json(options_.only)},
      {"archive_size", options_.archiveSize},
      {"transfers", options_.transfers},
      {"history_days", historyDays},
  };

  if (options_.json) {
    nlohmann::json settings = nlohmann::json::object();
    for (const Configuration::Setting& setting : configuration.settings()) {
      nlohmann::json entry = {{"value", values.at(setting.key)},
                              {"source", sourceName(setting.source)}};
      if (setting.source == Source::file) entry["line"] = setting.line;
      if (setting.source == Source::environment) entry["variable"] = setting.variable;
      if (setting.source == Source::flag) entry["flag"] = setting.flag;
      settings[setting.key] = std::move(entry);
    }
    const nlohmann::json document = {
        {"schema", kJsonSchemaVersion},           {"verb", "config"},
        {"remote", remoteName(options_)},         {"file", configuration.file()},
        {"fileFound", configuration.fileFound()}, {"settings", std::move(settings)}};
    std::cout << document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    return kExitSuccess;
  }

  std::cout << "Configuration file: " << configuration.file()
            << (configuration.fileFound() ? "" : " (not present)") << "\n";
  for (const Configuration::Setting& setting : configuration.settings()) {
    const nlohmann::json& value = values.at(setting.key);
    std::string text = value.is_string() ? value.get<std::string>() : value.dump();
    if (setting.key == "categories") {
      text = options_.only.empty() ? "every category whose folder exists" : joined(options_.only);
    }
    if (setting.key == "archive_size") text += " bytes";
    char key[32];
    std::snprintf(key, sizeof key, "%-18s", setting.key.c_str());
    std::cout << "  " << key << " " << text << "  [" << originText(setting, configuration.file())
              << "]\n";
  }
  return kExitSuccess;
}

}  // namespace tessellon::cli
