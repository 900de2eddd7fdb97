#include "cli/BackupChoice.h"

#include <cctype>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/CommandFailure.h"
#include "cli/ExitStatus.h"
#include "cli/RemoteSelection.h"
#include "cli/Session.h"

namespace tessellon::cli {

namespace {

using BackupPointer = std::shared_ptr<tessellon::Backup>;
using Backups = std::vector<BackupPointer>;

// "  <id>  <computer name>" per backup, for the user to pick a --device from.
std::string deviceLines(const Backups& backups) {
  std::string lines;
  for (const BackupPointer& backup : backups) {
    lines += "\n  " + backup->deviceID + "  " + backup->deviceName.value_or("?");
  }
  return lines;
}

std::string upper(std::string text) {
  for (char& letter : text)
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  return text;
}

// --device: a whole ID or its first characters in any case, or a computer name.
BackupPointer pickDevice(const Backups& backups, const std::string& device,
                         const std::string& remote) {
  const std::string wanted = upper(device);
  Backups fitting;
  for (const BackupPointer& backup : backups) {
    const std::string id = upper(backup->deviceID);
    if (id == wanted) return backup;
    if (!wanted.empty() && (id.rfind(wanted, 0) == 0 || backup->deviceName == device)) {
      fitting.push_back(backup);
    }
  }
  if (fitting.size() == 1) return fitting.front();
  if (fitting.empty()) {
    throw CommandFailure(CommandError::unknownDevice,
                         "no backup in " + remote + " fits --device '" + device +
                             "' (a device ID, its first characters or a computer name)" +
                             (backups.empty() ? std::string("; the remote holds none")
                                              : "; the backups there:" + deviceLines(backups)));
  }
  throw CommandFailure(CommandError::ambiguousDevice,
                       "--device '" + device + "' fits several backups in " + remote +
                           "; pass more of the device ID:" + deviceLines(fitting));
}

BackupPointer pick(const Backups& backups, const CliOptions& options, bool deviceGiven) {
  const std::string remote = remoteName(options);
  if (deviceGiven) return pickDevice(backups, options.device, remote);
  if (backups.empty()) {
    throw CommandFailure(CommandError::noBackup,
                         "no backups in " + remote + "; 'tessellon backup' makes one");
  }
  const std::optional<std::string> thisComputer = tessellon::thisDeviceName();
  Backups matching;
  for (const BackupPointer& backup : backups) {
    if (thisComputer && backup->deviceName == thisComputer) matching.push_back(backup);
  }
  if (matching.size() == 1) return matching.front();
  const std::string name = thisComputer.value_or("?");
  // Two devices with this computer's name (a reinstalled system, say): a guess could pick the
  // wrong one.
  throw CommandFailure(
      matching.empty() ? CommandError::unknownDevice : CommandError::ambiguousDevice,
      (matching.empty()
           ? "no backup in " + remote + " was made by this computer ('" + name + "')"
           : "several backups in " + remote + " were made by a computer named '" + name + "'") +
          "; pass --device with one of these device IDs:" +
          deviceLines(matching.empty() ? backups : matching));
}

// The backups on the remote; the exit status when the listing failed or was interrupted.
std::optional<int> listBackups(Session& session, const CliOptions& options, Backups& backups) {
  std::optional<Backups> listed;
  std::optional<tessellon::Error> error;
  session.sdk().getAvailableBackups(
      [&](std::optional<Backups> result, std::optional<tessellon::Error> failure) {
        listed = std::move(result);
        error = std::move(failure);
        session.finish();
      });
  session.wait();
  if (error) return failWith(*error, options);
  // A cancelled listing completes with an empty list: only the interrupt tells them apart.
  if (session.interrupted()) {
    std::cerr << "tessellon: cancelled\n";
    return kExitCancelled;
  }
  for (BackupPointer& backup : listed.value_or(Backups{})) {
    if (backup) backups.push_back(std::move(backup));
  }
  return std::nullopt;
}

}  // namespace

BackupChoice chooseBackup(Session& session, const CliOptions& options, bool deviceGiven) {
  Backups backups;
  if (const std::optional<int> status = listBackups(session, options, backups)) {
    return {nullptr, *status};
  }
  return {pick(backups, options, deviceGiven), kExitSuccess};
}

BackupChoice listedBackup(Session& session, const CliOptions& options,
                          const std::string& deviceID) {
  Backups backups;
  if (const std::optional<int> status = listBackups(session, options, backups)) {
    return {nullptr, *status};
  }
  for (BackupPointer& backup : backups) {
    if (backup->deviceID == deviceID) return {std::move(backup), kExitSuccess};
  }
  return {nullptr, kExitSuccess};
}

}  // namespace tessellon::cli
