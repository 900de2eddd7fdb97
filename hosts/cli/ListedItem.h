#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "tessellon/ProcessReport.h"
#include "tessellon/SkippedItem.h"

namespace tessellon::cli {

// An item that failed, or a file or folder a scan could not take, as the commands show it.
struct ListedItem {
  std::string category;  // "contacts", "calendars", "images" or "videos"
  std::string path;      // as the file system names it
  std::string reason;    // empty when the report does not say
};

// At most this many entries of a list are shown; the rest are counted.
inline constexpr size_t kMostListed = 20;

// The skipped paths of a run's report, in the order contacts, calendars, images, videos.
std::vector<ListedItem> skippedEntries(const tessellon::ProcessReport& report);
// The skipped items of a preview, in their order.
std::vector<ListedItem> skippedEntries(const std::vector<tessellon::SkippedItem>& items);
// The failed items of a run's report, in the order contacts, calendars, images, videos.
std::vector<ListedItem> failedEntries(const tessellon::ProcessReport& report);

// "contacts", "calendars", "images" or "videos".
std::string categoryName(tessellon::SkippedItem::Category category);

// `path` fit for a terminal and a JSON document: valid UTF-8 is kept, every other byte and every
// control character is written as "\xNN".
std::string printablePath(std::string_view path);

// "Skipped N files or folders that cannot be backed up:", then one line per entry
// ("  images: <path> (<reason>)"), at most kMostListed of them, then "  and N more".
// Nothing when `entries` is empty.
void printSkipped(std::ostream& out, const std::vector<ListedItem>& entries);
// The same for failed items and paths, under "Failed (N):".
void printFailed(std::ostream& out, const std::vector<ListedItem>& entries);

// The categories of `entries` in the order they first appear, without repeats.
std::vector<std::string> skippedCategories(const std::vector<ListedItem>& entries);

}  // namespace tessellon::cli
