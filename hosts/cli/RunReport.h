#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/Date.h"
#include "tessellon/Error.h"
#include "tessellon/ProcessReport.h"

#include "cli/CliOptions.h"
#include "cli/ListedItem.h"
#include "cli/RunFigures.h"

namespace tessellon::cli {

class Session;

// How a preview, backup or restore is told: its verb, the remote and when it ran.
struct RunContext {
  std::string verb;  // "preview", "backup" or "restore"
  std::string remote;
  tessellon::Date startDate;
  std::optional<tessellon::Date> finishDate;  // none for a preview
  bool prune = false;
};

// One line per category: "  images     new 3, unchanged 10, removed 0, failed 0, skipped 0,
// 0.02 MB"; the megabytes are what was (or will be) sent or brought back.
std::string categoryLines(const RunFigures& figures);

// "1.25": decimal megabytes, two places.
std::string megabyteFigure(int64_t bytes);
// "1.25 MB".
std::string megabytes(int64_t bytes);

// "N items (M MB)".
std::string itemsText(int items, int64_t bytes);

// The --json document of a preview, backup or restore (schema 1, see README).
std::string runJson(const RunContext& context, const RunFigures& figures);

// Turns the completion of a backup (or restore) into output and an exit status: --json's document,
// or the category lines and a closing line naming the remote, the device and the time, with what
// failed and the skipped paths (both shown with -q too); "items failed in: ..." or "items skipped
// in: ..." with status 3, an error with status 1 (a full remote said plainly, even when the library
// ended the run as cancelled), 130 when the user cancelled. `nothingDone` opens the closing line of
// a run that moved no item.
int concludeRun(const Session& session, const CliOptions& options, RunContext context,
                RunFigures figures, const std::shared_ptr<tessellon::ProcessReport>& report,
                const std::optional<tessellon::Error>& error, const std::string& nothingDone);

// Names the categories of `skipped` on standard error ("tessellon: items skipped in: images");
// returns kExitFailedItems, or kExitSuccess when nothing was skipped.
int reportSkipped(const std::vector<ListedItem>& skipped);

}  // namespace tessellon::cli
