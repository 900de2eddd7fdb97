#include "cli/RunFigures.h"

#include <algorithm>
#include <memory>

#include "tessellon/CalendarEntry.h"
#include "tessellon/Contact.h"
#include "tessellon/MediaMetaData.h"

namespace tessellon::cli {

namespace {

void setRemoved(CategoryFigures& figures, int count, int64_t bytes) {
  figures.removed = std::max(0, count);
  figures.removedBytes = std::max<int64_t>(0, bytes);
}

// Media items are compared by content; without both item lists only the counts tell.
void countRemoved(CategoryFigures& figures, const std::shared_ptr<tessellon::MediaMetaData>& stored,
                  const std::shared_ptr<tessellon::MediaMetaData>& after) {
  if (stored->items && after->items) {
    const auto gone = tessellon::MediaMetaData::difference(stored, after);
    if (gone) setRemoved(figures, gone->count, gone->bytes);
    return;
  }
  setRemoved(figures, stored->count - figures.unchanged, stored->bytes - figures.unchangedBytes);
}

template <class T>
void countRemoved(CategoryFigures& figures,
                  const std::shared_ptr<tessellon::ItemsMetaData<T>>& stored,
                  const std::shared_ptr<tessellon::ItemsMetaData<T>>& after) {
  if (!stored->items || !after->items) {
    setRemoved(figures, stored->count - figures.unchanged, 0);
    return;
  }
  typename tessellon::ItemsMetaData<T>::Items gone;
  for (const auto& item : *stored->items) {
    const bool kept = std::any_of(after->items->begin(), after->items->end(),
                                  [&](const auto& other) { return *other == *item; });
    if (!kept) gone.push_back(item);
  }
  setRemoved(figures, static_cast<int>(gone.size()),
             gone.empty() ? 0 : tessellon::detail::compactJsonByteCount<T>(gone));
}

// `after` is the record the run will store, `task` what it sends, `stored` the record it replaces.
template <class MetaData>
void addPlanned(std::vector<CategoryFigures>& categories, const char* name,
                const std::shared_ptr<MetaData>& after, const std::shared_ptr<MetaData>& task,
                const std::shared_ptr<MetaData>& stored) {
  const bool held = stored && stored->count > 0;
  if (!after && !task && !held) return;
  CategoryFigures figures;
  figures.category = name;
  figures.planned = true;
  figures.stored = held ? stored->count : 0;
  if (task) {
    figures.fresh = task->count;
    figures.freshBytes = task->bytes;
  }
  if (after) {
    figures.unchanged = std::max(0, after->count - figures.fresh);
    figures.unchangedBytes = std::max<int64_t>(0, after->bytes - figures.freshBytes);
  }
  if (held) {
    // A category the run leaves out of its record is gone from the remote afterwards.
    if (!after) {
      setRemoved(figures, stored->count, stored->bytes);
    } else {
      countRemoved(figures, stored, after);
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
  const tessellon::Backup empty(preview.deviceID);
  const tessellon::Backup& task = preview.taskList ? *preview.taskList : empty;
  const std::shared_ptr<const tessellon::Backup> storedRecord = preview.storedRecord();
  const tessellon::Backup& stored = storedRecord ? *storedRecord : empty;
  const tessellon::Backup& summary = listed ? *listed : empty;
  const auto either = [](const auto& loaded, const auto& summarised) {
    return loaded ? loaded : summarised;
  };
  addPlanned(figures.categories, "contacts", preview.contactsMetaData, task.contactsMetaData,
             either(stored.contactsMetaData, summary.contactsMetaData));
  addPlanned(figures.categories, "calendars", preview.calendarsMetaData, task.calendarsMetaData,
             either(stored.calendarsMetaData, summary.calendarsMetaData));
  addPlanned(figures.categories, "images", preview.imagesMetaData, task.imagesMetaData,
             either(stored.imagesMetaData, summary.imagesMetaData));
  addPlanned(figures.categories, "videos", preview.videosMetaData, task.videosMetaData,
             either(stored.videosMetaData, summary.videosMetaData));
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
