#include "cli/RunReport.h"

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "tessellon/BackupSDKError.h"

#include "cli/BackupSummary.h"
#include "cli/ExitStatus.h"
#include "cli/Session.h"
#include "cli/SkippedList.h"

namespace tessellon::cli {

namespace {

struct Totals {
  int64_t items = 0;
  int64_t failed = 0;
  int64_t bytes = 0;
  int64_t failedBytes = 0;
  std::vector<std::string> failedCategories;
};

Totals totalsOf(const tessellon::ProcessReport& report) {
  Totals totals;
  const std::pair<const char*, const std::shared_ptr<tessellon::ReportSection>*> sections[] = {
      {"contacts", &report.contacts},
      {"calendars", &report.calendars},
      {"images", &report.images},
      {"videos", &report.videos},
  };
  for (const auto& [name, section] : sections) {
    if (!*section) continue;
    totals.items += (*section)->success;
    totals.failed += (*section)->failed;
    totals.bytes += (*section)->successBytes;
    totals.failedBytes += (*section)->failedBytes;
    if ((*section)->failed > 0) totals.failedCategories.push_back(name);
  }
  return totals;
}

std::string summaryLine(const Totals& totals, size_t skipped, double seconds,
                        std::string_view nothingDone) {
  const std::string skippedText =
      skipped == 0 ? std::string() : ", " + std::to_string(skipped) + " skipped";
  char text[240];
  if (totals.items == 0 && totals.failed == 0) {
    std::snprintf(text, sizeof text, "%.*s%s; finished in %.1f s.",
                  static_cast<int>(nothingDone.size()), nothingDone.data(), skippedText.c_str(),
                  seconds);
  } else {
    std::snprintf(text, sizeof text,
                  "Done: %lld items (%.2f MB), %lld failed (%.2f MB)%s, in %.1f s.",
                  static_cast<long long>(totals.items), static_cast<double>(totals.bytes) / 1e6,
                  static_cast<long long>(totals.failed),
                  static_cast<double>(totals.failedBytes) / 1e6, skippedText.c_str(), seconds);
  }
  return text;
}

int reportFailedCategories(const std::vector<std::string>& categories) {
  if (categories.empty()) return kExitSuccess;
  std::string line = "tessellon: items failed in:";
  for (const std::string& category : categories) line += " " + category;
  std::cerr << line << "\n";
  return kExitFailedItems;
}

}  // namespace

int concludeRun(const Session& session, const CliOptions& options,
                const std::shared_ptr<tessellon::ProcessReport>& report,
                const std::optional<tessellon::Error>& error, std::string_view nothingDone) {
  if (error) return failWith(*error);
  if (!report) {
    // A full remote may end the run as cancelled; the user should hear why.
    if (session.storageFull()) {
      return failWith(tessellon::makeError(tessellon::BackupSDKError::mediaNotEnoughRemoteStorage));
    }
    std::cerr << "tessellon: cancelled\n";
    return kExitCancelled;
  }

  const Totals totals = totalsOf(*report);
  const std::vector<SkippedEntry> skipped = skippedEntries(*report);
  if (options.json) {
    std::cout << reportJson(*report) << "\n";
  } else if (!options.quiet) {
    std::cout << report->description()
              << summaryLine(totals, skipped.size(), session.elapsedSeconds(), nothingDone) << "\n";
    printSkipped(std::cout, skipped);
  }
  const int failedStatus = reportFailedCategories(totals.failedCategories);
  const int skippedStatus = reportSkipped(skipped);
  return failedStatus != kExitSuccess ? failedStatus : skippedStatus;
}

int reportSkipped(const std::vector<SkippedEntry>& skipped) {
  const std::vector<std::string> categories = skippedCategories(skipped);
  if (categories.empty()) return kExitSuccess;
  std::string line = "tessellon: items skipped in:";
  for (const std::string& category : categories) line += " " + category;
  std::cerr << line << "\n";
  return kExitFailedItems;
}

}  // namespace tessellon::cli
