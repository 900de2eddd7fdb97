#pragma once

#include <cstdint>
#include <memory>

namespace tessellon {

// Outcome of one category: items and bytes that succeeded and failed.
struct ReportSection {
  int overall = 0;
  int success = 0;
  int failed = 0;
  int64_t overallBytes = 0;
  int64_t successBytes = 0;
  int64_t failedBytes = 0;

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
};

// What a backup or restore did, per category; a category that was not part of
// the run has no section.
struct ProcessReport {
  std::shared_ptr<ReportSection> images;
  std::shared_ptr<ReportSection> videos;
  std::shared_ptr<ReportSection> contacts;
  std::shared_ptr<ReportSection> calendars;
};

}  // namespace tessellon
