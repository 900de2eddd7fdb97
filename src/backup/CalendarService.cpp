#include "backup/CalendarService.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tessellon/BackupSDKError.h"

namespace tessellon {
namespace {

using Entries = std::vector<std::shared_ptr<CalendarEntry>>;

// An event without the identifiers the store hands out: a restored event gets a fresh one, so
// only its occurrence number (for a changed occurrence) and its fields can match the backup. A
// series is known by its length rather than its first occurrence, which is the first one in
// the window of the day it was read and so moves on between a backup and a later restore.
auto contentOf(const CalendarEvent& event) {
  const bool series = event.recurrence && !event.isDetached();
  return std::make_tuple(
      event.title, series ? 0 : event.start, series ? 0 : event.end, event.end - event.start,
      event.allDay, event.recurrence, event.note, event.location, event.url, event.eventTimezone,
      event.eventTimezoneDefinition, event.RID(), event.exceptionDates, event.recurrenceDates);
}

using EventContent = decltype(contentOf(std::declval<const CalendarEvent&>()));

// The events of `backedUp` (in their order) that `present` lacks, each present event meeting at
// most one backed-up event. An event whose kept text is that of a present one is there; the
// others are compared as the store gives them back.
std::vector<CalendarEvent> missingEvents(const CalendarRepositoryProtocol& repository,
                                         const CalendarEntry& backedUp,
                                         const CalendarEntry& present) {
  const std::vector<CalendarEvent> presentEvents =
      present.events.value_or(std::vector<CalendarEvent>{});
  std::map<std::string, std::vector<size_t>> byText;
  for (size_t index = 0; index < presentEvents.size(); ++index) {
    if (auto key = repository.sourceKey(presentEvents[index])) byText[*key].push_back(index);
  }
  std::vector<bool> met(presentEvents.size(), false);
  std::vector<CalendarEvent> unmatched;
  for (const CalendarEvent& event : backedUp.events.value_or(std::vector<CalendarEvent>{})) {
    const std::optional<std::string> key = repository.sourceKey(event);
    const auto same = key ? byText.find(*key) : byText.end();
    if (same != byText.end() && !same->second.empty()) {
      met[same->second.back()] = true;
      same->second.pop_back();
    } else {
      unmatched.push_back(event);
    }
  }
  std::multiset<EventContent> there;
  for (size_t index = 0; index < presentEvents.size(); ++index) {
    if (!met[index]) there.insert(contentOf(repository.storedForm(presentEvents[index])));
  }
  std::vector<CalendarEvent> missing;
  for (const CalendarEvent& event : unmatched) {
    const auto found = there.find(contentOf(repository.storedForm(event)));
    if (found == there.end()) {
      missing.push_back(event);
    } else {
      there.erase(found);
    }
  }
  return missing;
}

// What restoring `backedUp` still has to write: the whole entry when no calendar of its title is
// here, else only the events lacking from the calendar of that title that lacks the fewest,
// addressed to it. A calendar met once is not met again, so two backed-up calendars of one title
// stay two. A changed occurrence whose slot in its series here holds a change of its own is not
// written over that one, but added to `skipped`.
std::shared_ptr<CalendarEntry> stillToWrite(const CalendarRepositoryProtocol& repository,
                                            const std::shared_ptr<CalendarEntry>& backedUp,
                                            const Entries& existing, std::vector<bool>& met,
                                            std::vector<SkippedItem>& skipped) {
  std::optional<size_t> best;
  std::vector<CalendarEvent> bestMissing;
  for (size_t index = 0; index < existing.size(); ++index) {
    if (met[index] || !existing[index] || existing[index]->title != backedUp->title) continue;
    std::vector<CalendarEvent> missing = missingEvents(repository, *backedUp, *existing[index]);
    if (!best || missing.size() < bestMissing.size()) {
      best = index;
      bestMissing = std::move(missing);
    }
  }
  if (!best) return backedUp;
  met[*best] = true;
  if (bestMissing.empty()) return nullptr;
  // A changed occurrence whose series is here already goes into that series.
  std::map<EventContent, std::string> seriesByContent;
  std::set<std::string> changedHere;  // "<series>/RID=<occurrence>"
  for (const CalendarEvent& candidate :
       existing[*best]->events.value_or(std::vector<CalendarEvent>{})) {
    if (candidate.isDetached()) {
      changedHere.insert(*candidate.parentId() + "/RID=" + *candidate.RID());
    } else if (candidate.recurrence) {
      seriesByContent.emplace(contentOf(repository.storedForm(candidate)), candidate.id);
    }
  }
  std::map<std::string, std::string> seriesHere;
  for (const CalendarEvent& event : backedUp->events.value_or(std::vector<CalendarEvent>{})) {
    if (!event.recurrence || event.isDetached()) continue;
    const auto found = seriesByContent.find(contentOf(repository.storedForm(event)));
    if (found != seriesByContent.end()) seriesHere[event.id] = found->second;
  }
  std::erase_if(bestMissing, [&](CalendarEvent& event) {
    if (!event.isDetached()) return false;
    const auto series = seriesHere.find(*event.parentId());
    if (series == seriesHere.end()) return false;
    event.id = series->second + "/RID=" + *event.RID();
    if (changedHere.count(event.id) == 0) return false;
    skipped.push_back({SkippedItem::Category::calendars,
                       "calendars.json: " + backedUp->title + ": " + event.title,
                       "this occurrence was changed here since the backup; the change here is "
                       "kept"});
    return true;
  });
  if (bestMissing.empty()) return nullptr;
  auto addition = std::make_shared<CalendarEntry>(*existing[*best]);
  addition->events = std::move(bestMissing);
  return addition;
}

// Creates `entries[index]` and the ones after it, each once the one before succeeded.
Future<Void> createFrom(const std::shared_ptr<CalendarRepositoryProtocol>& repository,
                        const std::shared_ptr<const Entries>& entries, size_t index) {
  if (index == entries->size()) return Future<Void>::success(Void{});
  return repository->createCalendarEntry((*entries)[index])
      .onSuccess(Executor::stackCheckingImmediate(), [repository, entries, index] {
        return createFrom(repository, entries, index + 1);
      });
}

}  // namespace

CalendarService::CalendarService(std::shared_ptr<CalendarRepositoryProtocol> calendarRepository)
    : calendarRepository_(std::move(calendarRepository)) {}

Future<std::shared_ptr<ItemsMetaData<CalendarEntry>>> CalendarService::getCalendarsMetaData() {
  lastWasRestore_ = false;
  if (!calendarRepository_) {
    return Future<std::shared_ptr<ItemsMetaData<CalendarEntry>>>::fail(
        makeError(BackupSDKError::calendarsAccessDenied, "no calendar store"));
  }
  return calendarRepository_->getCalendarEntries().onSuccess(
      Executor::immediate(), [](const std::vector<std::shared_ptr<CalendarEntry>>& entries) {
        return std::make_shared<ItemsMetaData<CalendarEntry>>(entries);
      });
}

Future<Void> CalendarService::restoreCalendars(const ItemsMetaData<CalendarEntry>& metaData) {
  lastWasRestore_ = true;
  restoreSkipped_ = std::make_shared<std::vector<SkippedItem>>();
  if (!metaData.items || metaData.items->empty()) return Future<Void>::success(Void{});
  if (!calendarRepository_) {
    return Future<Void>::fail(
        makeError(BackupSDKError::calendarsAccessDenied, "no calendar store"));
  }
  const std::shared_ptr<CalendarRepositoryProtocol> repository = calendarRepository_;
  // A restore may bring back a calendar folder that is not there yet.
  if (Result<void> created = repository->createStore(); !created.ok()) {
    return Future<Void>::fail(created.error());
  }
  const Entries backedUp = *metaData.items;
  for (const std::shared_ptr<CalendarEntry>& entry : backedUp) {
    for (const CalendarEvent& event : entry ? entry->events.value_or(std::vector<CalendarEvent>{})
                                            : std::vector<CalendarEvent>{}) {
      if (!event.recurrence || event.isDetached() || repository->readsRule(*event.recurrence)) {
        continue;
      }
      restoreSkipped_->push_back({SkippedItem::Category::calendars,
                                  "calendars.json: " + entry->title + ": " + event.title,
                                  "a rule the calendar store cannot read: " + *event.recurrence});
    }
  }
  return repository->getCalendarEntries().onSuccess(
      Executor::stackCheckingImmediate(),
      [repository, backedUp, skipped = restoreSkipped_](const Entries& existing) {
        auto missing = std::make_shared<Entries>();
        std::vector<bool> met(existing.size(), false);
        for (const std::shared_ptr<CalendarEntry>& entry : backedUp) {
          if (!entry) continue;
          if (auto toWrite = stillToWrite(*repository, entry, existing, met, *skipped)) {
            missing->push_back(std::move(toWrite));
          }
        }
        return createFrom(repository, missing, 0);
      });
}

std::vector<SkippedItem> CalendarService::skippedItems() const {
  if (lastWasRestore_) return *restoreSkipped_;
  return calendarRepository_ ? calendarRepository_->skippedItems() : std::vector<SkippedItem>{};
}

}  // namespace tessellon
