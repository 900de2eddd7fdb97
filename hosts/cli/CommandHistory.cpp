#include "cli/CommandHistory.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/BackupChoice.h"
#include "cli/BackupSummary.h"
#include "cli/CommandFailure.h"
#include "cli/ExitStatus.h"
#include "cli/RemoteSelection.h"
#include "cli/Session.h"
#include "delegates/RemoteHistory.h"

namespace tessellon::cli {

namespace {

using hosts::RemoteHistory;

std::string dateText(RemoteHistory::Clock::time_point date) {
  return isoDate(std::chrono::floor<std::chrono::milliseconds>(date));
}

}  // namespace

CommandHistory::CommandHistory(CLI::App& parent)
    : command_(parent.add_subcommand(
          "history", "List the earlier versions of a backup that the remote keeps")) {
  addRemoteOption(*command_, options_);
  addDeviceOption(*command_, options_, "whose history to list");
  addOutputOptions(*command_, options_);
  command_->footer(
      "One line per backup that replaced or removed files on the remote: its start in UTC and "
      "the files it kept from before it. A restore as of that date gives the backup as it was "
      "just before. Exit status: 0 done, 1 error, 2 usage error, 130 "
      "cancelled.");
}

int CommandHistory::run() {
  Session session(options_, tessellon::BackupSDKOptions{});
  const BackupChoice choice =
      chooseBackup(session, options_, command_->get_option("--device")->count() > 0);
  if (!choice.backup) return choice.exitStatus;
  const tessellon::Backup& backup = *choice.backup;

  RemoteHistory history(session.remoteAsIs());
  std::vector<RemoteHistory::State> states;
  std::optional<RemoteHistory::Clock::time_point> since;
  if (auto error = history.states(backup.deviceID, states)) throw CommandFailure(std::move(*error));
  if (auto error = history.wholeSince(backup.deviceID, since)) {
    throw CommandFailure(std::move(*error));
  }
  if (options_.json) {
    nlohmann::json list = nlohmann::json::array();
    for (const RemoteHistory::State& state : states) {
      list.push_back(
          {{"date", dateText(state.date)}, {"files", state.files}, {"bytes", state.bytes}});
    }
    const nlohmann::json object = {
        {"schema", kJsonSchemaVersion},
        {"verb", "history"},
        {"remote", remoteName(options_)},
        {"deviceID", backup.deviceID},
        {"deviceName", backup.deviceName ? nlohmann::json(*backup.deviceName) : nlohmann::json()},
        {"wholeSince", since ? nlohmann::json(dateText(*since)) : nlohmann::json()},
        {"states", list}};
    std::cout << object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    return kExitSuccess;
  }
  if (options_.quiet) return kExitSuccess;
  const std::string device = backup.deviceName.value_or("?") + " (" + backup.deviceID + ")";
  if (states.empty()) {
    std::cout << "No earlier versions of " << device << " in " << remoteName(options_) << ".\n";
    return kExitSuccess;
  }
  std::cout << "Earlier versions of " << device << " in " << remoteName(options_)
            << ", kept by the backups of:\n";
  if (since) std::cout << "  (those from before " << dateText(*since) << " expired)\n";
  for (const RemoteHistory::State& state : states) {
    char line[160];
    std::snprintf(line, sizeof line, "  %s  %lld file%s, %.2f MB\n", dateText(state.date).c_str(),
                  static_cast<long long>(state.files), state.files == 1 ? "" : "s",
                  static_cast<double>(state.bytes) / 1e6);
    std::cout << line;
  }
  return kExitSuccess;
}

}  // namespace tessellon::cli
