#include "cli/CommandBackup.h"

#include <memory>
#include <optional>
#include <utility>

#include <CLI/CLI.hpp>

#include "tessellon/BackupSettings.h"

#include "cli/RunReport.h"
#include "cli/Session.h"

namespace tessellon::cli {

CommandBackup::CommandBackup(CLI::App& parent)
    : command_(parent.add_subcommand(
          "backup", "Back up pictures, videos, contacts and calendars to the remote")) {
  addRemoteOption(*command_, options_);
  addSourceOptions(*command_, options_);
  addBackupOptions(*command_, options_);
  addOutputOptions(*command_, options_);
  command_->footer(
      "Exit status: 0 done, 3 some items failed or files or folders cannot be backed up (their "
      "categories named on standard error), 1 error, 2 usage error, 130 cancelled (Ctrl-C; "
      "press it twice to stop at once).");
}

int CommandBackup::run() {
  const SourceSelection sources = selectSources(options_);
  announceLeftOut(sources.leftOut, options_);
  const tessellon::BackupSettings settings = backupSettings(sources, options_);

  Session session(options_, sources.options);
  std::shared_ptr<tessellon::ProcessReport> report;
  std::optional<tessellon::Error> error;
  session.sdk().startBackup(
      settings,
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
  return concludeRun(session, options_, report, error, "Nothing new to back up");
}

}  // namespace tessellon::cli
