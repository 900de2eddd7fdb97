#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "tessellon/Error.h"
#include "tessellon/ProcessReport.h"

#include "cli/CliOptions.h"

namespace tessellon::cli {

class Session;

// Turns the completion of a backup (or restore) into output and an exit status: the report as JSON
// or as its text plus one summary line, "items failed in: ..." with status 3, an error with status
// 1 (a full remote said plainly, even when the library ended the run as cancelled), 130 when the
// user cancelled. `nothingDone` opens the summary of a run that moved no item.
int concludeRun(const Session& session, const CliOptions& options,
                const std::shared_ptr<tessellon::ProcessReport>& report,
                const std::optional<tessellon::Error>& error, std::string_view nothingDone);

}  // namespace tessellon::cli
