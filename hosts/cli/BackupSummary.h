#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/Backup.h"
#include "tessellon/Date.h"

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

// The document `list --json` prints (schema 1): the remote and, per device, its names, dates and
// category totals.
std::string backupsJson(const std::vector<std::shared_ptr<tessellon::Backup>>& backups,
                        const std::string& remote);

}  // namespace tessellon::cli
