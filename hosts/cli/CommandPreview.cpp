#include "cli/CommandPreview.h"

#include <iostream>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "tessellon/BackupSettings.h"

#include "cli/BackupChoice.h"
#include "cli/BackupSummary.h"
#include "cli/ExitStatus.h"
#include "cli/ListedItem.h"
#include "cli/RemoteSelection.h"
#include "cli/RunFigures.h"
#include "cli/RunReport.h"
#include "cli/Session.h"

namespace tessellon::cli {

CommandPreview::CommandPreview(CLI::App& parent)
    : command_(parent.add_subcommand("preview", "Show what a backup would transfer")) {
  addRemoteOption(*command_, options_);
  addSourceOptions(*command_, options_);
  addBackupOptions(*command_, options_);
  addOutputOptions(*command_, options_);
  command_->footer(
      "Nothing is uploaded; with --prune it also says what the backup would remove. Exit status: 0 "
      "done, 3 some files or folders cannot be backed up "
      "(listed), 1 error, 2 usage error, 130 cancelled.");
}

int CommandPreview::run() {
  const SourceSelection sources = selectSources(options_);
  announceLeftOut(sources.leftOut, options_);
  const tessellon::BackupSettings settings = backupSettings(sources, options_);

  Session session(options_, sources.options);
  std::shared_ptr<tessellon::Backup> backup;
  std::optional<tessellon::Error> error;
  session.sdk().startPreview(
      settings, [progress = session.progress()](int percent) { progress->updatePercent(percent); },
      [&](std::shared_ptr<tessellon::Backup> result, std::optional<tessellon::Error> failure) {
        backup = std::move(result);
        error = std::move(failure);
        session.finish();
      });
  session.wait();

  if (error) return failWith(*error, options_);
  if (!backup) {
    std::cerr << "tessellon: cancelled\n";
    return kExitCancelled;
  }
  // A pruning run also removes what a category left out holds, which only the listing tells.
  std::shared_ptr<tessellon::Backup> listed;
  if (options_.prune) {
    session.startNext();
    BackupChoice stored = listedBackup(session, options_, backup->deviceID);
    if (stored.exitStatus != kExitSuccess) return stored.exitStatus;
    listed = std::move(stored.backup);
  }
  const RunFigures plan = RunFigures::planned(*backup, listed.get());
  const RunContext context{"preview", remoteName(options_), session.startDate(), std::nullopt,
                           options_.prune};
  if (options_.json) {
    std::cout << runJson(context, plan) << "\n";
  } else {
    if (!options_.quiet) {
      const bool anything = plan.freshItems() > 0 || plan.removedItems() > 0;
      std::cout << categoryLines(plan) << (anything ? "To back up" : "Nothing new to back up")
                << ": remote " << context.remote << ", device " << plan.deviceName.value_or("?")
                << " (" << plan.deviceID << "), " << isoDate(context.startDate) << ".\n";
      if (options_.prune && plan.removedItems() > 0) {
        std::cout << "Will remove " << itemsText(plan.removedItems(), plan.removedBytes())
                  << " deleted here.\n";
      }
    }
    printSkipped(std::cout, plan.skipped);
  }
  if (options_.prune && !options_.allowLargeRemoval && !plan.largeRemovals().empty()) {
    std::cerr << "tessellon: warning: a backup with --prune would refuse to remove this much "
                 "without --allow-large-removal\n";
  }
  return reportSkipped(plan.skipped);
}

}  // namespace tessellon::cli
