#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tessellon/FailedItem.h"

namespace tessellon {

// Outcome of one category: items and bytes that succeeded and failed, what failed and why, and
// the files or folders the scan found but could not take (not part of `overall`).
struct ReportSection {
  int overall = 0;
  int success = 0;
  int failed = 0;
  int64_t overallBytes = 0;
  int64_t successBytes = 0;
  int64_t failedBytes = 0;
  int skipped = 0;
  // Absolute, as the file system names them (they may not be UTF-8).
  std::vector<std::string> skippedPaths;
  // What `failed` counts, each with its reason: an image or video by each of its paths (so there
  // may be more entries than items), a document that failed as one entry. A media restore also
  // names each path it could not write of an item it restored.
  std::vector<FailedItem> failedItems;

  ReportSection() = default;
  ReportSection(int successCount, int failedCount, int64_t successByteCount,
                int64_t failedByteCount)
      : overall(successCount + failedCount),
        success(successCount),
        failed(failedCount),
        overallBytes(successByteCount + failedByteCount),
        successBytes(successByteCount),
        failedBytes(failedByteCount) {}
  virtual ~ReportSection() = default;

  // "overall=3 success=2 failed=1 overallBytes=30 successBytes=20 failedBytes=10", then
  // " skipped=2" when anything was skipped.
  virtual std::string description() const;

  // Same counts and skipped paths (failure reasons are not compared); a media restore section
  // equals only another one with the same path counts.
  friend bool operator==(const ReportSection& left, const ReportSection& right);
};

// A media restore also counts the local paths it wrote.
struct RestoreMediaReportSection : ReportSection {
  int overallPaths = 0;
  int successPaths = 0;
  int failedPaths = 0;

  RestoreMediaReportSection(int successCount, int failedCount, int64_t successByteCount,
                            int64_t failedByteCount, int successPathCount, int failedPathCount)
      : ReportSection(successCount, failedCount, successByteCount, failedByteCount),
        overallPaths(successPathCount + failedPathCount),
        successPaths(successPathCount),
        failedPaths(failedPathCount) {}

  // "overallPaths=3 successPaths=2 failedPaths=1".
  std::string description() const override;
};

// What a backup or restore did, per category; a category that was not part of
// the run has no section.
struct ProcessReport {
  std::shared_ptr<ReportSection> images;
  std::shared_ptr<ReportSection> videos;
  std::shared_ptr<ReportSection> contacts;
  std::shared_ptr<ReportSection> calendars;

  // The text hosts show and the log carries: a leading line feed, then a block
  // per present section in the order contacts, calendars, videos, images, with
  // counts and decimal megabytes rounded to two places; "- Count (skipped): N"
  // follows the failed count in a section that skipped anything.
  std::string description() const;

  // Sections compared by value; absent only equals absent.
  friend bool operator==(const ProcessReport& left, const ProcessReport& right);
};

}  // namespace tessellon
