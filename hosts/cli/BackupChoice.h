#pragma once

#include <memory>
#include <string>

#include "tessellon/Backup.h"

#include "cli/CliOptions.h"

namespace tessellon::cli {

class Session;

// The stored backup a command works on, or the exit status to end it with.
struct BackupChoice {
  std::shared_ptr<tessellon::Backup> backup;
  int exitStatus = 0;
};

// Lists the backups on the session's remote and picks the one of --device (`deviceGiven`: a device
// ID, its first characters in any case, or a computer name), else the one made by this computer
// as the library names it (the name a new backup record gets). Throws CommandFailure naming the
// candidates when there is no single such backup; when the listing fails or is interrupted, says
// why and returns no backup.
BackupChoice chooseBackup(Session& session, const CliOptions& options, bool deviceGiven);

// The record of `deviceID` as the session's remote lists it, with a null backup when the remote
// holds none; a failed or interrupted listing ends with its exit status.
BackupChoice listedBackup(Session& session, const CliOptions& options, const std::string& deviceID);

}  // namespace tessellon::cli
