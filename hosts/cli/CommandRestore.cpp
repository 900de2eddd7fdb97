#include "cli/CommandRestore.h"

#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "tessellon/Backup.h"
#include "tessellon/Settings.h"

#include "cli/BackupChoice.h"
#include "cli/BackupSummary.h"
#include "cli/CommandFailure.h"
#include "cli/ExitStatus.h"
#include "cli/RemoteSelection.h"
#include "cli/RunFigures.h"
#include "cli/RunReport.h"
#include "cli/Session.h"
#include "delegates/RemoteHistory.h"

namespace tessellon::cli {

namespace {

// A date before the oldest state kept would be answered by later versions: refuse it.
void requireHistory(Session& session, const std::string& deviceID,
                    std::chrono::system_clock::time_point asOf) {
  std::optional<hosts::RemoteHistory::Clock::time_point> since;
  if (auto error = hosts::RemoteHistory(session.remoteAsIs()).wholeSince(deviceID, since)) {
    throw CommandFailure(std::move(*error));
  }
  if (since && asOf < *since) {
    throw CommandFailure(CommandError::historyExpired,
                         "the remote keeps the history of " + deviceID + " only from " +
                             isoDate(std::chrono::floor<std::chrono::milliseconds>(*since)) +
                             " on (older versions expired); pick a later --as-of");
  }
}

}  // namespace

CommandRestore::CommandRestore(CLI::App& parent)
    : command_(parent.add_subcommand("restore", "Restore a backup without overwriting any file")) {
  addRemoteOption(*command_, options_);
  addRestoreOptions(*command_, options_);
  addAsOfOption(*command_, options_);
  addOutputOptions(*command_, options_);
  command_->footer(
      "Without --device, restores the backup whose computer name is this computer's. Existing "
      "files are never overwritten; missing folders are created. With --as-of, the backup as it "
      "was then, from the earlier versions the remote keeps ('tessellon history'). Exit status: 0 "
      "done, 3 some "
      "items failed (listed on standard error), 1 error, 2 usage error, 130 cancelled (Ctrl-C; "
      "press it twice to stop at once).");
}

// 1. List the backups on the remote and pick the device's one.
// 2. Choose the categories: --only, else every category that backup holds.
// 3. Restore them and report. An interrupted restore leaves the files written so far in place;
//    running it again adds only what is missing, as it never overwrites.
int CommandRestore::run() {
  Session session(options_, chosenFolders(options_));
  const BackupChoice choice =
      chooseBackup(session, options_, command_->get_option("--device")->count() > 0);
  if (!choice.backup) return choice.exitStatus;
  const std::shared_ptr<tessellon::Backup>& backup = choice.backup;
  if (options_.asOf) requireHistory(session, backup->deviceID, *options_.asOf);

  const RestoreSelection selection = selectRestoreCategories(options_, *backup);
  announceLeftOut(selection.leftOut, options_);
  const tessellon::Settings& settings = selection.settings;
  RunContext context{"restore", remoteName(options_), session.startDate(), std::nullopt, false};
  if (!settings.contacts && !settings.calendars && !settings.images && !settings.videos) {
    context.finishDate = context.startDate;
    std::cout << (options_.json    ? runJson(context, RunFigures::of(*backup)) + "\n"
                  : options_.quiet ? ""
                                   : "Nothing to restore.\n");
    return kExitSuccess;
  }
  if (!options_.quiet && !options_.json) {
    std::cerr << "tessellon: restoring the backup of " << backup->deviceName.value_or("?") << " ("
              << backup->deviceID << ")\n";
  }

  session.startNext();
  std::shared_ptr<tessellon::ProcessReport> report;
  std::optional<tessellon::Error> error;
  session.sdk().startRestore(
      backup, settings,
      [progress = session.progress()](const tessellon::FileStatus& status) {
        progress->update(status);
      },
      [&](std::shared_ptr<tessellon::ProcessReport> result,
          std::optional<tessellon::Error> failure) {
        report = std::move(result);
        error = std::move(failure);
        session.finish();
      });
  session.wait();
  return concludeRun(session, options_, std::move(context), RunFigures::of(*backup), report, error,
                     "Nothing to restore");
}

}  // namespace tessellon::cli
