#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "tessellon/ProcessReport.h"
#include "tessellon/SkippedItem.h"

namespace tessellon::cli {

// One file or folder a scan could not take, as the commands show it.
struct SkippedEntry {
  std::string category;  // "contacts", "calendars", "images" or "videos"
  std::string path;      // as the file system names it
  std::string reason;    // empty when the report does not say
};

// At most this many entries are listed; the rest are counted.
inline constexpr size_t kMostSkippedListed = 20;

// The skipped paths of a run's report, in the order contacts, calendars, images, videos.
std::vector<SkippedEntry> skippedEntries(const tessellon::ProcessReport& report);
// The skipped items of a preview, in their order.
std::vector<SkippedEntry> skippedEntries(const std::vector<tessellon::SkippedItem>& items);

// "contacts", "calendars", "images" or "videos".
std::string categoryName(tessellon::SkippedItem::Category category);

// `path` fit for a terminal and a JSON document: valid UTF-8 is kept, every other byte and every
// control character is written as "\xNN".
std::string printablePath(std::string_view path);

// "Skipped N files or folders that cannot be backed up:", then one line per entry
// ("  images: <path> (<reason>)"), at most kMostSkippedListed of them, then "  and N more".
// Nothing when `entries` is empty.
void printSkipped(std::ostream& out, const std::vector<SkippedEntry>& entries);

// The categories of `entries` in the order they first appear, without repeats.
std::vector<std::string> skippedCategories(const std::vector<SkippedEntry>& entries);

}  // namespace tessellon::cli
