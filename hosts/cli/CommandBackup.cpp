#include "cli/CommandBackup.h"

#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include <CLI/CLI.hpp>

#include "tessellon/BackupSettings.h"

#include "cli/BackupChoice.h"
#include "cli/CommandFailure.h"
#include "cli/ExitStatus.h"
#include "cli/RemoteSelection.h"
#include "cli/RunFigures.h"
#include "cli/RunReport.h"
#include "cli/Session.h"
#include "delegates/RemoteHistory.h"

namespace tessellon::cli {

namespace {

// "3 of 3 images (0.02 MB), 40 of 70 videos (812.00 MB)".
std::string largeRemovalText(const RunFigures& figures) {
  std::string text;
  for (const CategoryFigures& category : figures.largeRemovals()) {
    text += (text.empty() ? "" : ", ") + std::to_string(category.removed) + " of " +
            std::to_string(category.stored) + " " + category.category + " (" +
            megabytes(category.removedBytes) + ")";
  }
  return text;
}

}  // namespace

// After a backup that ended, the states older than --keep-history go; with 0 days none do, as
// nothing new is kept then. A failure here leaves the backup as it is and is only told.
void CommandBackup::expireHistory(Session& session, const std::string& deviceID) const {
  if (options_.keepHistoryDays <= 0) return;
  const auto before =
      std::chrono::system_clock::now() - std::chrono::hours(24) * options_.keepHistoryDays;
  int removed = 0;
  if (auto failure =
          tessellon::hosts::RemoteHistory(session.remoteAsIs()).expire(deviceID, before, removed)) {
    std::cerr << "tessellon: warning: could not remove the history older than "
              << options_.keepHistoryDays << " days: " << failure->message << "\n";
  }
}

CommandBackup::CommandBackup(CLI::App& parent)
    : command_(parent.add_subcommand(
          "backup", "Back up pictures, videos, contacts and calendars to the remote")) {
  addRemoteOption(*command_, options_);
  addSourceOptions(*command_, options_);
  addBackupOptions(*command_, options_);
  addOutputOptions(*command_, options_);
  command_->footer(
      "Items deleted here stay on the remote unless --prune; a pruning backup that would remove "
      "more than half of a category, or all of it, refuses unless --allow-large-removal. Exit "
      "status: 0 done, 3 some items failed or files or folders cannot be backed up (their "
      "categories named on standard error), 1 error, 2 usage error, 130 cancelled (Ctrl-C; "
      "press it twice to stop at once).");
}

// 1. Preview: what this run sends, keeps and removes.
// 2. With --prune, refuse a removal that looks like a missing or emptied folder.
// 3. Back up that preview and report. An interrupted run leaves what landed; the next run sends
//    the rest.
int CommandBackup::run() {
  if (options_.allowLargeRemoval && !options_.prune) {
    throw CommandFailure(CommandError::largeRemoval,
                         "--allow-large-removal goes with --prune; without --prune nothing is "
                         "removed from the remote");
  }
  const SourceSelection sources = selectSources(options_);
  announceLeftOut(sources.leftOut, options_);
  const tessellon::BackupSettings settings = backupSettings(sources, options_);

  Session session(options_, sources.options);
  RunContext context{"backup", remoteName(options_), session.startDate(), std::nullopt,
                     options_.prune};
  std::shared_ptr<tessellon::Backup> preview;
  std::optional<tessellon::Error> error;
  session.sdk().startPreview(
      settings, [progress = session.progress()](int percent) { progress->updatePercent(percent); },
      [&](std::shared_ptr<tessellon::Backup> result, std::optional<tessellon::Error> failure) {
        preview = std::move(result);
        error = std::move(failure);
        session.finish();
      });
  session.wait();
  if (error) return failWith(*error, options_);
  if (!preview) {
    std::cerr << "tessellon: cancelled\n";
    return kExitCancelled;
  }

  // A pruning run also removes what a category left out holds, which only the listing tells.
  std::shared_ptr<tessellon::Backup> listed;
  if (options_.prune) {
    session.startNext();
    BackupChoice stored = listedBackup(session, options_, preview->deviceID);
    if (stored.exitStatus != kExitSuccess) return stored.exitStatus;
    listed = std::move(stored.backup);
  }
  const RunFigures plan = RunFigures::planned(*preview, listed.get());
  if (options_.prune && !options_.allowLargeRemoval && !plan.largeRemovals().empty()) {
    throw CommandFailure(CommandError::largeRemoval,
                         "this backup would remove " + largeRemovalText(plan) +
                             " from the remote; if a folder is missing or unmounted, fix that "
                             "and run again, or back up without --prune (deleted items are "
                             "kept); to remove them anyway, add --allow-large-removal");
  }
  if (options_.prune && plan.removedItems() > 0 && !options_.quiet && !options_.json) {
    std::cerr << "tessellon: will remove " << itemsText(plan.removedItems(), plan.removedBytes())
              << " deleted here from the remote\n";
  }

  session.startNext();
  std::shared_ptr<tessellon::ProcessReport> report;
  session.sdk().startBackup(
      preview,
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
  if (!error && report && !session.interrupted()) expireHistory(session, preview->deviceID);
  return concludeRun(session, options_, std::move(context), plan, report, error,
                     "Nothing new to back up");
}

}  // namespace tessellon::cli
