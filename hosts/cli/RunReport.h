#pragma once

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "tessellon/Error.h"
#include "tessellon/ProcessReport.h"

#include "cli/CliOptions.h"
#include "cli/SkippedList.h"

namespace tessellon::cli {

class Session;

// Turns the completion of a backup (or restore) into output and an exit status: the report as JSON
// or as its text plus one summary line and the list of skipped paths; "items failed in: ..." or
// "items skipped in: ..." with status 3, an error with status 1 (a full remote said plainly, even
// when the library ended the run as cancelled), 130 when the user cancelled. `nothingDone` opens
// the summary of a run that moved no item.
int concludeRun(const Session& session, const CliOptions& options,
                const std::shared_ptr<tessellon::ProcessReport>& report,
                const std::optional<tessellon::Error>& error, std::string_view nothingDone);

// Names the categories of `skipped` on standard error ("tessellon: items skipped in: images");
// returns kExitFailedItems, or kExitSuccess when nothing was skipped.
int reportSkipped(const std::vector<SkippedEntry>& skipped);

}  // namespace tessellon::cli
