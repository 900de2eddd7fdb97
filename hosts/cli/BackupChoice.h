#pragma once

#include <memory>

#include "tessellon/Backup.h"

#include "cli/CliOptions.h"

namespace tessellon::cli {

class Session;

// The stored backup a command works on, or the exit status to end it with.
struct BackupChoice {
  std::shared_ptr<tessellon::Backup> backup;
  int exitStatus = 0;
};

// Lists the backups on the session's remote and picks the one of --device (`deviceGiven`), else
// the one made by this computer as the library names it (the name a new backup record gets).
// When there is no single such backup, or the listing fails or is interrupted, says why on
// standard error and returns no backup.
BackupChoice chooseBackup(Session& session, const CliOptions& options, bool deviceGiven);

}  // namespace tessellon::cli
