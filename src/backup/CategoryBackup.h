#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tessellon/Backup.h"
#include "tessellon/ProcessReport.h"

#include "core/CancelToken.h"
#include "futures/Future.h"

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
  virtual Future<std::shared_ptr<ReportSection>> run(std::shared_ptr<Backup> backup,
                                                     std::shared_ptr<CancelToken> token) = 0;

 protected:
  // Adds `count` files and `bytes` to the success or failed side of `section`, replacing it (a
  // section once handed out does not change); an addition of nothing still creates it.
  static void tally(std::shared_ptr<ReportSection>& section, bool success, int count,
                    int64_t bytes) {
    const ReportSection old = section ? *section : ReportSection();
    section = std::make_shared<ReportSection>(
        old.success + (success ? count : 0), old.failed + (success ? 0 : count),
        old.successBytes + (success ? bytes : 0), old.failedBytes + (success ? 0 : bytes));
    section->skipped = old.skipped;
    section->skippedPaths = old.skippedPaths;
  }
};

}  // namespace tessellon
