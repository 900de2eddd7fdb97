#pragma once

#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "tessellon/ProcessReport.h"

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "model/BackupRecord.h"

namespace tessellon {

// The backup of one category (contacts, calendars, images, videos). The backup service runs
// them one after another; each leaves the remote backup consistent when it ends, whatever
// failed.
class CategoryBackup {
 public:
  CategoryBackup() = default;
  virtual ~CategoryBackup() = default;
  CategoryBackup(const CategoryBackup&) = delete;
  CategoryBackup& operator=(const CategoryBackup&) = delete;

  // "Contacts", as the log names the category.
  virtual const std::string& title() const = 0;
  // Where the category's section goes in the run's report.
  virtual std::shared_ptr<ReportSection> ProcessReport::*reportSlot() const = 0;
  // The category's report section, or null when it had nothing to report. Updates `backup`'s
  // record as documents and files land on the remote; fails only when the run must stop.
  virtual Future<std::shared_ptr<ReportSection>> run(std::shared_ptr<BackupRecord> backup,
                                                     std::shared_ptr<CancelToken> token) = 0;

 protected:
  // Adds `count` files and `bytes` to the success or failed side of `section`, created on first
  // use (an addition of nothing still creates it), and `failed`, what failed, to its list. A
  // category hands its section out only once it ended, so until then it changes in place.
  static void tally(std::shared_ptr<ReportSection>& section, bool success, int count, int64_t bytes,
                    std::vector<FailedItem> failed = {}) {
    if (!section) section = std::make_shared<ReportSection>();
    ReportSection& counts = *section;
    (success ? counts.success : counts.failed) += count;
    (success ? counts.successBytes : counts.failedBytes) += bytes;
    counts.overall += count;
    counts.overallBytes += bytes;
    if (counts.failedItems.empty()) {
      counts.failedItems = std::move(failed);
    } else {
      counts.failedItems.insert(counts.failedItems.end(), std::make_move_iterator(failed.begin()),
                                std::make_move_iterator(failed.end()));
    }
  }
};

}  // namespace tessellon
