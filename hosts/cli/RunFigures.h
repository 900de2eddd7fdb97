#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/Backup.h"
#include "tessellon/Date.h"
#include "tessellon/ProcessReport.h"

#include "cli/ListedItem.h"

namespace tessellon::cli {

// One category of a run as the summary and --json show it. `fresh` is what the run sends (a
// backup) or brings back (a restore); `unchanged` what the remote keeps as it is; `removed` what a
// pruning backup deletes from the remote.
struct CategoryFigures {
  std::string category;  // "contacts", "calendars", "images" or "videos"
  int stored = 0;        // items on the remote before the run
  int fresh = 0;
  int64_t freshBytes = 0;
  int unchanged = 0;
  int64_t unchangedBytes = 0;
  int removed = 0;
  int64_t removedBytes = 0;
  int failed = 0;
  int64_t failedBytes = 0;
  int skipped = 0;
  // Counted by a preview: an address book or calendar's `fresh` is then its new items, where the
  // run's report counts every item of the document it sends.
  bool planned = false;
};

// What a preview, backup or restore did or will do, per category, with the device it concerns.
class RunFigures {
 public:
  // What the backup of `preview` will send, keep and remove. A preview loads only the stored
  // documents of the categories it backs up (or keeps); `listed`, this device's record as the
  // listing gives it, tells what a category left out holds, which a pruning run removes.
  static RunFigures planned(const tessellon::Backup& preview,
                            const tessellon::Backup* listed = nullptr);
  // No categories yet: the device and name of `backup`, for a restore of it.
  static RunFigures of(const tessellon::Backup& backup);

  // Takes the sent, failed and skipped counts of the finished run, and what failed.
  void apply(const tessellon::ProcessReport& report);

  // The categories a pruning backup would empty or more than halve.
  std::vector<CategoryFigures> largeRemovals() const;
  int removedItems() const;
  int64_t removedBytes() const;
  int freshItems() const;
  int failedItems() const;

  std::string deviceID;
  std::optional<std::string> deviceName;
  std::optional<std::string> name;
  std::vector<CategoryFigures> categories;
  // With their reasons when a preview found them.
  std::vector<ListedItem> skipped;
  // What the run's report names as failed.
  std::vector<ListedItem> failed;
};

}  // namespace tessellon::cli
