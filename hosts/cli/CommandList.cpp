#include "cli/CommandList.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/BackupSummary.h"
#include "cli/ExitStatus.h"
#include "cli/RemoteSelection.h"
#include "cli/Session.h"

namespace tessellon::cli {

namespace {

using Backups = std::vector<std::shared_ptr<tessellon::Backup>>;

void printBackups(const Backups& backups, const std::string& remote) {
  if (backups.empty()) {
    std::cout << "No backups in " << remote << ".\n";
    return;
  }
  for (const std::shared_ptr<tessellon::Backup>& backup : backups) {
    if (!backup) continue;
    std::cout << backup->deviceID << "  " << backup->deviceName.value_or("?");
    if (backup->name && !backup->name->empty()) std::cout << "  \"" << *backup->name << "\"";
    std::cout << "  "
              << (backup->finishDate ? "finished " + isoDate(*backup->finishDate)
                                     : std::string("unfinished"))
              << "\n";
    std::string categories;
    for (const CategoryTotal& total : categoryTotals(*backup)) {
      char part[120];
      std::snprintf(part, sizeof part, "%s%s %d (%.2f MB)", categories.empty() ? "" : ", ",
                    total.category.c_str(), total.count, static_cast<double>(total.bytes) / 1e6);
      categories += part;
    }
    if (!categories.empty()) std::cout << "    " << categories << "\n";
  }
}

}  // namespace

CommandList::CommandList(CLI::App& parent)
    : command_(parent.add_subcommand("list", "List the backups stored on the remote")) {
  addRemoteOption(*command_, options_);
  addOutputOptions(*command_, options_);
  command_->footer(
      "One line per device with its ID, computer name, backup name and finish date, then its "
      "categories. Exit status: 0 done, 1 error, 2 usage error, 130 cancelled.");
}

int CommandList::run() {
  Session session(options_, tessellon::BackupSDKOptions{});
  std::optional<Backups> backups;
  std::optional<tessellon::Error> error;
  session.sdk().getAvailableBackups(
      [&](std::optional<Backups> result, std::optional<tessellon::Error> failure) {
        backups = std::move(result);
        error = std::move(failure);
        session.finish();
      });
  session.wait();

  if (error) return failWith(*error, options_);
  // A cancelled listing completes with an empty list: only the interrupt tells them apart.
  if (session.interrupted()) {
    std::cerr << "tessellon: cancelled\n";
    return kExitCancelled;
  }
  const Backups found = backups.value_or(Backups{});
  if (options_.json) {
    std::cout << backupsJson(found, remoteName(options_)) << "\n";
  } else {
    printBackups(found, remoteName(options_));
  }
  return kExitSuccess;
}

}  // namespace tessellon::cli
