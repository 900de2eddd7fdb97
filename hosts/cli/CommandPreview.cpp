#include "cli/CommandPreview.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "tessellon/BackupSettings.h"

#include "cli/BackupSummary.h"
#include "cli/ExitStatus.h"
#include "cli/RunReport.h"
#include "cli/Session.h"
#include "cli/SkippedList.h"

namespace tessellon::cli {

namespace {

void printPreview(const tessellon::Backup& backup) {
  const tessellon::Backup& work = backup.taskListToProcess ? *backup.taskListToProcess : backup;
  bool anything = false;
  std::cout << "Backup of device " << backup.deviceID << "\n";
  for (const CategoryTotal& total : categoryTotals(work)) {
    if (total.count == 0) continue;
    char line[160];
    std::snprintf(line, sizeof line, "  %-10s %d items, %.2f MB\n", (total.category + ":").c_str(),
                  total.count, static_cast<double>(total.bytes) / 1e6);
    std::cout << (anything ? "" : "To back up:\n") << line;
    anything = true;
  }
  if (!anything) std::cout << "Nothing new to back up.\n";
}

}  // namespace

CommandPreview::CommandPreview(CLI::App& parent)
    : command_(parent.add_subcommand("preview", "Show what a backup would transfer")) {
  addRemoteOption(*command_, options_);
  addSourceOptions(*command_, options_);
  addBackupOptions(*command_, options_);
  addOutputOptions(*command_, options_);
  command_->footer(
      "Nothing is uploaded. Exit status: 0 done, 3 some files or folders cannot be backed up "
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

  if (error) return failWith(*error);
  if (!backup) {
    std::cerr << "tessellon: cancelled\n";
    return kExitCancelled;
  }
  const std::vector<SkippedEntry> skipped = skippedEntries(backup->skippedItems);
  if (options_.json) {
    std::cout << previewJson(*backup) << "\n";
  } else {
    printPreview(*backup);
    printSkipped(std::cout, skipped);
  }
  return reportSkipped(skipped);
}

}  // namespace tessellon::cli
