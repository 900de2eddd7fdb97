#pragma once

#include <string>

#include "tessellon/FileStatus.h"
#include "tessellon/ProcessReport.h"

namespace tessellon {

// Compact JSON text of the records a host is handed.

// {"success", "failed", "successBytes", "failedBytes"} plus "successPaths" and
// "failedPaths" for a media restore section, "failedItems" ([{"path", "reason"}]) when any are
// named, and "skipped" and "skippedPaths" when anything was skipped; the totals are not written.
std::string jsonString(const ReportSection& section);

// {"images", "videos", "contacts", "calendars"}, absent sections left out.
std::string jsonString(const ProcessReport& report);

// {"overall", "processed", "overallBytes", "processedBytes"}.
std::string jsonString(const FileStatus& status);

}  // namespace tessellon
