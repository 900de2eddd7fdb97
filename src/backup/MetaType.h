#pragma once

#include <cstdint>
#include <memory>

#include "tessellon/ProcessReport.h"

namespace tessellon {

// The category a count is added to.
enum class MetaType : int { contacts = 0, calendars = 1, images = 2, videos = 3 };

// `report` with `count` files and `bytes` added to the success or failed side of
// `media`'s section. The other sections are shared, the changed one is new; an
// addition of nothing still creates the section.
inline ProcessReport addToReport(const ProcessReport& report, bool success, MetaType media,
                                 int count, int64_t bytes) {
  ProcessReport sum = report;
  std::shared_ptr<ReportSection>& section = [&]() -> std::shared_ptr<ReportSection>& {
    switch (media) {
      case MetaType::contacts:
        return sum.contacts;
      case MetaType::calendars:
        return sum.calendars;
      case MetaType::images:
        return sum.images;
      case MetaType::videos:
        break;
    }
    return sum.videos;
  }();
  const ReportSection old = section ? *section : ReportSection();
  section = std::make_shared<ReportSection>(
      old.success + (success ? count : 0), old.failed + (success ? 0 : count),
      old.successBytes + (success ? bytes : 0), old.failedBytes + (success ? 0 : bytes));
  section->skipped = old.skipped;
  section->skippedPaths = old.skippedPaths;
  return sum;
}

}  // namespace tessellon
