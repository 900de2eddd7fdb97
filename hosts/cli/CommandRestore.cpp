#include "cli/CommandRestore.h"

#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "tessellon/Backup.h"
#include "tessellon/Settings.h"

#include "cli/ExitStatus.h"
#include "cli/RunReport.h"
#include "cli/Session.h"

namespace tessellon::cli {

namespace {

using BackupPointer = std::shared_ptr<tessellon::Backup>;
using Backups = std::vector<BackupPointer>;

// "  <id>  <computer name>" per backup, for the user to pick a --device from.
std::string deviceLines(const Backups& backups) {
  std::string lines;
  for (const BackupPointer& backup : backups) {
    lines += "  " + backup->deviceID + "  " + backup->deviceName.value_or("?") + "\n";
  }
  return lines;
}

// The backup of --device, else the one made by this computer as the library names it (the same
// name a new backup record gets). Tells why on standard error and returns nothing when there is
// no single such backup.
BackupPointer chooseBackup(const Backups& backups, const CliOptions& options, bool deviceGiven) {
  const std::string remote = remoteFolder(options);
  if (deviceGiven) {
    for (const BackupPointer& backup : backups) {
      if (backup->deviceID == options.device) return backup;
    }
    std::cerr << "tessellon: no backup of device '" << options.device << "' in " << remote
              << "; 'tessellon list' shows the device IDs\n";
    return nullptr;
  }
  if (backups.empty()) {
    std::cerr << "tessellon: no backups in " << remote << "\n";
    return nullptr;
  }
  const std::optional<std::string> thisComputer = tessellon::Backup(std::string()).deviceName;
  Backups matching;
  for (const BackupPointer& backup : backups) {
    if (thisComputer && backup->deviceName == thisComputer) matching.push_back(backup);
  }
  if (matching.size() == 1) return matching.front();
  const std::string name = thisComputer.value_or("?");
  // Two devices with this computer's name (a reinstalled system, say): a guess could restore the
  // wrong one.
  std::cerr << "tessellon: "
            << (matching.empty()
                    ? "no backup in " + remote + " was made by this computer ('" + name + "')"
                    : "several backups in " + remote + " were made by a computer named '" + name +
                          "'")
            << "; pass --device with one of these device IDs:\n"
            << deviceLines(matching.empty() ? backups : matching);
  return nullptr;
}

}  // namespace

CommandRestore::CommandRestore(CLI::App& parent)
    : command_(parent.add_subcommand("restore", "Restore a backup without overwriting any file")) {
  addRemoteOption(*command_, options_);
  addRestoreOptions(*command_, options_);
  addOutputOptions(*command_, options_);
  command_->footer(
      "Without --device, restores the backup whose computer name is this computer's. Existing "
      "files are never overwritten; missing folders are created. Exit status: 0 done, 3 some "
      "items failed (listed on standard error), 1 error, 2 usage error, 130 cancelled (Ctrl-C; "
      "press it twice to stop at once).");
}

// 1. List the backups on the remote and pick the device's one.
// 2. Choose the categories: --only, else every category that backup holds.
// 3. Restore them and report. An interrupted restore leaves the files written so far in place;
//    running it again adds only what is missing, as it never overwrites.
int CommandRestore::run() {
  Session session(options_, chosenFolders(options_));
  std::optional<Backups> listed;
  std::optional<tessellon::Error> error;
  session.sdk().getAvailableBackups(
      [&](std::optional<Backups> result, std::optional<tessellon::Error> failure) {
        listed = std::move(result);
        error = std::move(failure);
        session.finish();
      });
  session.wait();
  if (error) return failWith(*error);
  // A cancelled listing completes with an empty list: only the interrupt tells them apart.
  if (session.interrupted()) {
    std::cerr << "tessellon: cancelled\n";
    return kExitCancelled;
  }
  Backups backups;
  for (BackupPointer& backup : listed.value_or(Backups{})) {
    if (backup) backups.push_back(std::move(backup));
  }
  const BackupPointer backup =
      chooseBackup(backups, options_, command_->get_option("--device")->count() > 0);
  if (!backup) return kExitError;

  const RestoreSelection selection = selectRestoreCategories(options_, *backup);
  announceLeftOut(selection.leftOut, options_);
  const tessellon::Settings& settings = selection.settings;
  if (!settings.contacts && !settings.calendars && !settings.images && !settings.videos) {
    std::cout << (options_.json ? "{}\n" : options_.quiet ? "" : "Nothing to restore.\n");
    return kExitSuccess;
  }
  if (!options_.quiet) {
    std::cerr << "tessellon: restoring the backup of " << backup->deviceName.value_or("?") << " ("
              << backup->deviceID << ")\n";
  }

  session.startNext();
  std::shared_ptr<tessellon::ProcessReport> report;
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
  return concludeRun(session, options_, report, error, "Nothing to restore");
}

}  // namespace tessellon::cli
