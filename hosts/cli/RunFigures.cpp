#include "cli/RunFigures.h"

#include <algorithm>
#include <memory>

namespace tessellon::cli {

namespace {

void setRemoved(CategoryFigures& figures, int count, int64_t bytes) {
  figures.removed = std::max(0, count);
  figures.removedBytes = std::max<int64_t>(0, bytes);
}

// `category` is one category of a preview; `listed`, the same category as the listing gives it,
// tells what the remote holds where the preview did not read the stored document. Without both
// item lists, removals are told by the counts (and for media by the bytes too).
void addPlanned(std::vector<CategoryFigures>& categories, const char* name,
                const tessellon::BackupCategory& category, const tessellon::BackupCategory* listed,
                bool media) {
  const std::optional<tessellon::CategorySummary>& after = category.held;
  const std::optional<tessellon::CategorySummary> stored =
      category.stored || !listed ? category.stored : listed->held;
  const bool held = stored && stored->count > 0;
  if (!after && !category.toSend && !held) return;
  CategoryFigures figures;
  figures.category = name;
  figures.planned = true;
  figures.stored = held ? stored->count : 0;
  if (category.toSend) {
    figures.fresh = category.toSend->count;
    figures.freshBytes = category.toSend->bytes;
  }
  if (after) {
    figures.unchanged = std::max(0, after->count - figures.fresh);
    figures.unchangedBytes = std::max<int64_t>(0, after->bytes - figures.freshBytes);
  }
  if (held) {
    // A category the run leaves out of its record is gone from the remote afterwards.
    if (!after) {
      setRemoved(figures, stored->count, stored->bytes);
    } else if (category.removed) {
      setRemoved(figures, category.removed->count, category.removed->bytes);
    } else {
      setRemoved(figures, stored->count - figures.unchanged,
                 media ? stored->bytes - figures.unchangedBytes : 0);
    }
  }
  categories.push_back(figures);
}

CategoryFigures& categoryOf(std::vector<CategoryFigures>& categories, const char* name) {
  for (CategoryFigures& figures : categories) {
    if (figures.category == name) return figures;
  }
  categories.push_back(CategoryFigures{name});
  return categories.back();
}

template <class Value>
int sum(const std::vector<CategoryFigures>& categories, Value CategoryFigures::*member) {
  int total = 0;
  for (const CategoryFigures& figures : categories) total += static_cast<int>(figures.*member);
  return total;
}

}  // namespace

RunFigures RunFigures::planned(const tessellon::Backup& preview, const tessellon::Backup* listed) {
  RunFigures figures;
  figures.deviceID = preview.deviceID;
  figures.deviceName = preview.deviceName;
  figures.name = preview.name;
  const auto of = [listed](tessellon::BackupCategory tessellon::Backup::*category) {
    return listed ? &(listed->*category) : nullptr;
  };
  addPlanned(figures.categories, "contacts", preview.contacts, of(&tessellon::Backup::contacts),
             false);
  addPlanned(figures.categories, "calendars", preview.calendars, of(&tessellon::Backup::calendars),
             false);
  addPlanned(figures.categories, "images", preview.images, of(&tessellon::Backup::images), true);
  addPlanned(figures.categories, "videos", preview.videos, of(&tessellon::Backup::videos), true);
  figures.skipped = skippedEntries(preview.skippedItems);
  return figures;
}

RunFigures RunFigures::of(const tessellon::Backup& backup) {
  RunFigures figures;
  figures.deviceID = backup.deviceID;
  figures.deviceName = backup.deviceName;
  figures.name = backup.name;
  return figures;
}

void RunFigures::apply(const tessellon::ProcessReport& report) {
  const std::pair<const char*, const std::shared_ptr<tessellon::ReportSection>*> sections[] = {
      {"contacts", &report.contacts},
      {"calendars", &report.calendars},
      {"images", &report.images},
      {"videos", &report.videos},
  };
  for (const auto& [category, section] : sections) {
    if (!*section) continue;
    CategoryFigures& figures = categoryOf(categories, category);
    const bool media = figures.category == "images" || figures.category == "videos";
    if (media || !figures.planned || (*section)->failed > 0) figures.fresh = (*section)->success;
    if ((*section)->failed > 0 && !media) figures.unchanged = 0;
    figures.freshBytes = (*section)->successBytes;
    figures.failed = (*section)->failed;
    figures.failedBytes = (*section)->failedBytes;
    figures.skipped = (*section)->skipped;
  }
  if (skipped.empty()) skipped = skippedEntries(report);
  failed = failedEntries(report);
}

std::vector<CategoryFigures> RunFigures::largeRemovals() const {
  std::vector<CategoryFigures> large;
  for (const CategoryFigures& figures : categories) {
    if (figures.removed > 0 &&
        (figures.removed >= figures.stored || 2 * figures.removed > figures.stored)) {
      large.push_back(figures);
    }
  }
  return large;
}

int RunFigures::removedItems() const { return sum(categories, &CategoryFigures::removed); }

int64_t RunFigures::removedBytes() const {
  int64_t total = 0;
  for (const CategoryFigures& figures : categories) total += figures.removedBytes;
  return total;
}

int RunFigures::freshItems() const { return sum(categories, &CategoryFigures::fresh); }

int RunFigures::failedItems() const { return sum(categories, &CategoryFigures::failed); }

}  // namespace tessellon::cli
