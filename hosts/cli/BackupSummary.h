#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/Backup.h"
#include "tessellon/Date.h"
#include "tessellon/ProcessReport.h"

namespace tessellon::cli {

// Items and bytes of one category of a backup record.
struct CategoryTotal {
  std::string category;  // "contacts", "calendars", "images" or "videos"
  int count = 0;
  int64_t bytes = 0;
};

// The categories present in the record, in the order contacts, calendars, images, videos.
std::vector<CategoryTotal> categoryTotals(const tessellon::Backup& backup);

// "2024-05-01T12:00:00.250Z".
std::string isoDate(const tessellon::Date& date);

// The JSON documents the command prints with --json (compact, one line).
// Paths are written as printablePath gives them.
// The report: {"images": {"success", "failed", "successBytes", "failedBytes"}, ...}, absent
// sections left out; a section that skipped anything adds "skipped" and "skippedPaths".
std::string reportJson(const tessellon::ProcessReport& report);
// A preview: the device, the name and, per category, what the run would transfer; when the scan
// skipped anything, "skipped": [{"category", "path", "reason"}, ...].
std::string previewJson(const tessellon::Backup& backup);
// The stored backups: one object per device with its names, dates and category totals.
std::string backupsJson(const std::vector<std::shared_ptr<tessellon::Backup>>& backups);

}  // namespace tessellon::cli
