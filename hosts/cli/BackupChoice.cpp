#include "cli/BackupChoice.h"

#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/ExitStatus.h"
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

BackupPointer pick(const Backups& backups, const CliOptions& options, bool deviceGiven) {
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
  // Two devices with this computer's name (a reinstalled system, say): a guess could pick the
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

BackupChoice chooseBackup(Session& session, const CliOptions& options, bool deviceGiven) {
  std::optional<Backups> listed;
  std::optional<tessellon::Error> error;
  session.sdk().getAvailableBackups(
      [&](std::optional<Backups> result, std::optional<tessellon::Error> failure) {
        listed = std::move(result);
        error = std::move(failure);
        session.finish();
      });
  session.wait();
  if (error) return {nullptr, failWith(*error)};
  // A cancelled listing completes with an empty list: only the interrupt tells them apart.
  if (session.interrupted()) {
    std::cerr << "tessellon: cancelled\n";
    return {nullptr, kExitCancelled};
  }
  Backups backups;
  for (BackupPointer& backup : listed.value_or(Backups{})) {
    if (backup) backups.push_back(std::move(backup));
  }
  BackupPointer chosen = pick(backups, options, deviceGiven);
  return {chosen, chosen ? kExitSuccess : kExitError};
}

}  // namespace tessellon::cli
