#include "backup/CalendarService.h"

#include <algorithm>
#include <tuple>
#include <utility>
#include <vector>

#include "tessellon/BackupSDKError.h"

namespace tessellon {
namespace {

using Entries = std::vector<std::shared_ptr<CalendarEntry>>;

// An event without the identifiers the store hands out: a restored event gets a fresh one, so
// only its occurrence number (for a changed occurrence) and its fields can match the backup.
auto contentOf(const CalendarEvent& event) {
  return std::make_tuple(event.title, event.start, event.end, event.allDay, event.recurrence,
                         event.note, event.location, event.url, event.eventTimezone, event.RID());
}

using EventContent = decltype(contentOf(std::declval<const CalendarEvent&>()));

std::vector<EventContent> sortedContentOf(const CalendarEntry& entry) {
  std::vector<EventContent> contents;
  if (entry.events) {
    for (const CalendarEvent& event : *entry.events) contents.push_back(contentOf(event));
  }
  std::sort(contents.begin(), contents.end());
  return contents;
}

// The same title and the same events, whatever their identifiers and their order among events
// that start together (the store's order for those is its own).
bool isAlreadyPresent(const CalendarEntry& entry, const Entries& existing) {
  const std::vector<EventContent> wanted = sortedContentOf(entry);
  return std::any_of(existing.begin(), existing.end(), [&](const auto& present) {
    return present && present->title == entry.title && sortedContentOf(*present) == wanted;
  });
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

CalendarService::CalendarService(std::shared_ptr<CalendarRepositoryProtocol> calendarRepository,
                                 std::shared_ptr<FileIOServiceProtocol> fileIOService)
    : calendarRepository_(std::move(calendarRepository)),
      fileIOService_(std::move(fileIOService)) {}

Future<std::shared_ptr<ItemsMetaData<CalendarEntry>>> CalendarService::getCalendarsMetaData() {
  if (!calendarRepository_) {
    return Future<std::shared_ptr<ItemsMetaData<CalendarEntry>>>::fail(
        makeError(BackupSDKError::calendarsAccessDenied, "no calendar store"));
  }
  return calendarRepository_->getCalendarsMetaData();
}

Future<Void> CalendarService::restoreCalendars(const ItemsMetaData<CalendarEntry>& metaData) {
  if (!metaData.items || metaData.items->empty()) return Future<Void>::success(Void{});
  if (!calendarRepository_) {
    return Future<Void>::fail(
        makeError(BackupSDKError::calendarsAccessDenied, "no calendar store"));
  }
  const std::shared_ptr<CalendarRepositoryProtocol> repository = calendarRepository_;
  const Entries backedUp = *metaData.items;
  return repository->getCalendarEntries().onSuccess(
      Executor::stackCheckingImmediate(), [repository, backedUp](const Entries& existing) {
        auto missing = std::make_shared<Entries>();
        for (const std::shared_ptr<CalendarEntry>& entry : backedUp) {
          if (entry && !isAlreadyPresent(*entry, existing)) missing->push_back(entry);
        }
        return createFrom(repository, missing, 0);
      });
}

}  // namespace tessellon
