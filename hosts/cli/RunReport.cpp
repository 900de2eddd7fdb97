#include "cli/RunReport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tessellon/BackupSDKError.h"

#include "cli/BackupSummary.h"
#include "cli/ExitStatus.h"
#include "cli/Session.h"

namespace tessellon::cli {

namespace {

using nlohmann::json;

json optionalText(const std::optional<std::string>& text) { return text ? json(*text) : json(); }

json entriesJson(const std::vector<ListedItem>& entries) {
  json list = json::array();
  for (const ListedItem& entry : entries) {
    list.push_back({{"category", entry.category},
                    {"path", printablePath(entry.path)},
                    {"reason", entry.reason.empty() ? json() : json(entry.reason)}});
  }
  return list;
}

std::string deviceText(const RunFigures& figures) {
  return "device " + figures.deviceName.value_or("?") + " (" + figures.deviceID + ")";
}

int reportFailedCategories(const RunFigures& figures) {
  std::string names;
  for (const CategoryFigures& category : figures.categories) {
    // An item restored to some of its paths is not counted as failed, but its other paths are.
    const bool pathFailed =
        std::any_of(figures.failed.begin(), figures.failed.end(),
                    [&](const ListedItem& entry) { return entry.category == category.category; });
    if (category.failed > 0 || pathFailed) names += " " + category.category;
  }
  if (names.empty()) return kExitSuccess;
  std::cerr << "tessellon: items failed in:" << names << "\n";
  return kExitFailedItems;
}

}  // namespace

std::string megabyteFigure(int64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", static_cast<double>(bytes) / 1e6);
  return text;
}

std::string megabytes(int64_t bytes) { return megabyteFigure(bytes) + " MB"; }

std::string categoryLines(const RunFigures& figures) {
  std::string lines;
  for (const CategoryFigures& category : figures.categories) {
    char line[256];
    std::snprintf(line, sizeof line,
                  "  %-10s new %d, unchanged %d, removed %d, failed %d, skipped %d, %s\n",
                  category.category.c_str(), category.fresh, category.unchanged, category.removed,
                  category.failed, category.skipped, megabytes(category.freshBytes).c_str());
    lines += line;
  }
  return lines;
}

std::string itemsText(int items, int64_t bytes) {
  return std::to_string(items) + " items (" + megabytes(bytes) + ")";
}

std::string runJson(const RunContext& context, const RunFigures& figures) {
  json categories = json::object();
  for (const CategoryFigures& category : figures.categories) {
    categories[category.category] = {
        {"new", category.fresh},           {"newBytes", category.freshBytes},
        {"unchanged", category.unchanged}, {"unchangedBytes", category.unchangedBytes},
        {"removed", category.removed},     {"removedBytes", category.removedBytes},
        {"failed", category.failed},       {"failedBytes", category.failedBytes},
        {"skipped", category.skipped},
    };
  }
  json document = {
      {"schema", kJsonSchemaVersion},
      {"verb", context.verb},
      {"remote", context.remote},
      {"deviceID", figures.deviceID},
      {"deviceName", optionalText(figures.deviceName)},
      {"name", optionalText(figures.name)},
      {"startDate", isoDate(context.startDate)},
      {"finishDate", context.finishDate ? json(isoDate(*context.finishDate)) : json()},
      {"categories", std::move(categories)},
      {"failed", entriesJson(figures.failed)},
      {"skipped", entriesJson(figures.skipped)},
  };
  if (context.verb != "restore") document["prune"] = context.prune;
  // Paths are whatever the file system allowed; a name that is not UTF-8 is not lost.
  return document.dump(-1, ' ', false, json::error_handler_t::replace);
}

int concludeRun(const Session& session, const CliOptions& options, RunContext context,
                RunFigures figures, const std::shared_ptr<tessellon::ProcessReport>& report,
                const std::optional<tessellon::Error>& error, const std::string& nothingDone) {
  if (error) return failWith(*error, options);
  if (!report) {
    // A full remote may end the run as cancelled; the user should hear why.
    if (session.storageFull()) {
      return failWith(tessellon::makeError(tessellon::BackupSDKError::mediaNotEnoughRemoteStorage),
                      options);
    }
    std::cerr << "tessellon: cancelled\n";
    return kExitCancelled;
  }

  figures.apply(*report);
  context.finishDate =
      std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now());
  if (options.json) {
    std::cout << runJson(context, figures) << "\n";
  } else {
    if (!options.quiet) {
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%.1f s", session.elapsedSeconds());
      const bool moved =
          figures.freshItems() > 0 || figures.failedItems() > 0 || figures.removedItems() > 0;
      std::cout << categoryLines(figures) << (moved ? std::string("Done") : nothingDone) << " in "
                << seconds << ": remote " << context.remote << ", " << deviceText(figures) << ", "
                << isoDate(*context.finishDate) << ".\n";
    }
    // Warnings: shown with -q too.
    printFailed(std::cout, figures.failed);
    printSkipped(std::cout, figures.skipped);
  }
  const int failedStatus = reportFailedCategories(figures);
  const int skippedStatus = reportSkipped(figures.skipped);
  return failedStatus != kExitSuccess ? failedStatus : skippedStatus;
}

int reportSkipped(const std::vector<ListedItem>& skipped) {
  const std::vector<std::string> categories = skippedCategories(skipped);
  if (categories.empty()) return kExitSuccess;
  std::string line = "tessellon: items skipped in:";
  for (const std::string& category : categories) line += " " + category;
  std::cerr << line << "\n";
  return kExitFailedItems;
}

}  // namespace tessellon::cli
