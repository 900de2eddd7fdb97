#include "platform/calendar/CalendarRepository.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>

#include "tessellon/BackupSDKError.h"

#include "core/Log.h"
#include "platform/calendar/CalendarEvent.h"
#include "platform/calendar/ICalComponents.h"
#include "platform/calendar/ICalConversions.h"
#include "platform/calendar/ICalEventSource.h"
#include "platform/calendar/LocalTimeZone.h"

namespace tessellon {
namespace {

int64_t roundedSeconds(Date date) {
  const int64_t milliseconds = date.time_since_epoch().count();
  return static_cast<int64_t>(std::llround(static_cast<double>(milliseconds) / 1000.0));
}

// Today's local midnight moved by `years`; 29 February becomes the 28th in a
// year without it.
Date midnightYearsAway(int years) {
  const std::time_t now = std::time(nullptr);
  std::tm today{};
  localtime_r(&now, &today);
  int day = today.tm_mday;
  const int year = today.tm_year + 1900 + years;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (today.tm_mon == 1 && day == 29 && !leap) day = 28;
  return Date(std::chrono::seconds(localInstant(year, today.tm_mon + 1, day, 0, 0, 0)));
}

bool isBackedUp(const StoreCalendar& calendar) {
  return !calendar.immutable && !calendar.subscribed &&
         (calendar.type == StoreCalendarType::local || calendar.type == StoreCalendarType::calDAV);
}

// The machine's zone as the store names it when it writes a time in it ("Etc/UTC" reads back as
// "UTC"), so a floating event's record meets the event its restore wrote.
std::string machineZone() {
  return ical::identifierOf(ical::zoneNamed(currentTimeZoneIdentifier()));
}

// True when a kept event says what the record's own fields say: a record an older writer
// changed keeps a text that no longer describes it, and the record wins.
bool keptTextAgrees(icalcomponent* kept, const CalendarEvent& event) {
  const auto textOf = [kept](icalproperty_kind kind) -> std::optional<std::string> {
    icalproperty* property = icalcomponent_get_first_property(kept, kind);
    if (property == nullptr) return std::nullopt;
    icalvalue* value = icalproperty_get_value(property);
    if (value == nullptr) return std::nullopt;
    return ical::text(kind == ICAL_URL_PROPERTY ? icalvalue_get_uri(value)
                                                : icalvalue_get_text(value));
  };
  if (textOf(ICAL_SUMMARY_PROPERTY).value_or("") != event.title ||
      textOf(ICAL_DESCRIPTION_PROPERTY) != event.note ||
      textOf(ICAL_LOCATION_PROPERTY) != event.location || textOf(ICAL_URL_PROPERTY) != event.url) {
    return false;
  }
  icalproperty* start = icalcomponent_get_first_property(kept, ICAL_DTSTART_PROPERTY);
  if (start == nullptr || icalproperty_get_dtstart(start).is_date != (event.allDay ? 1 : 0)) {
    return false;
  }
  icalproperty* rule = icalcomponent_get_first_property(kept, ICAL_RRULE_PROPERTY);
  const bool series = event.recurrence && !event.isDetached();
  if (!series) return rule == nullptr || event.isDetached();
  const std::optional<RecurrenceRule> recorded = ical::parseRule(*event.recurrence);
  return rule != nullptr && recorded && ical::ruleOf(icalproperty_get_rrule(rule)) == *recorded;
}

Error restoreError(const std::string& message) {
  return Error{CalendarRepository::kRestoreErrorDomain, 0, "RuntimeError(" + message + ")"};
}

}  // namespace

CalendarRepository::CalendarRepository(
    std::string root, std::shared_ptr<LoggerProtocol> logger,
    std::shared_ptr<CalendarFilter> calendarFilter,
    std::shared_ptr<CalendarRepositoryHelper> calendarRepositoryHelper)
    : root_(std::move(root)),
      logger_(std::move(logger)),
      calendarFilter_(std::move(calendarFilter)),
      calendarRepositoryHelper_(std::move(calendarRepositoryHelper)) {}

Result<std::shared_ptr<EventStoreProtocol>> CalendarRepository::requestAccess() const {
  std::shared_ptr<EventStoreProtocol> store = openEventStore(root_, logger_);
  Result<void> access = store->requestAccess();
  if (!access.ok()) return makeError(BackupSDKError::calendarsAccessDenied, access.error().message);
  return store;
}

Future<Void> CalendarRepository::checkAccess(std::shared_ptr<CancelToken> cancelToken) {
  if (cancelToken && cancelToken->isCanceled()) return Future<Void>::cancelled();
  Result<std::shared_ptr<EventStoreProtocol>> store = requestAccess();
  if (!store.ok()) return Future<Void>::fail(store.error());
  return Future<Void>::success(Void{});
}

Result<void> CalendarRepository::createStore() {
  std::error_code error;
  std::filesystem::create_directories(root_, error);
  if (error) {
    return makeError(BackupSDKError::calendarsAccessDenied,
                     "cannot create " + root_ + ": " + error.message());
  }
  return {};
}

CalendarEvent CalendarRepository::storedForm(const CalendarEvent& event) const {
  CalendarEvent stored = event;
  if (stored.recurrence) {
    if (std::optional<RecurrenceRule> rule = ical::parseRule(*stored.recurrence)) {
      stored.recurrence = rule->rrule;
    }
  }
  // Dates and times in no zone the store knows are written as local times and read back so.
  icaltimezone* zone = stored.eventTimezone ? ical::zoneNamed(*stored.eventTimezone) : nullptr;
  const bool defined =
      !stored.allDay && zone == nullptr && stored.eventTimezone && stored.eventTimezoneDefinition;
  if (!defined) {
    stored.eventTimezone =
        !stored.allDay && zone != nullptr ? ical::identifierOf(zone) : machineZone();
    stored.eventTimezoneDefinition.reset();
  }
  auto kept = [&](std::optional<std::vector<int64_t>>& dates) {
    if (stored.isDetached() || (dates && dates->empty())) dates.reset();
  };
  kept(stored.exceptionDates);
  kept(stored.recurrenceDates);
  return stored;
}

std::optional<std::string> CalendarRepository::sourceKey(const CalendarEvent& event) const {
  if (!event.iCalendar) return std::nullopt;
  const ICalEventSource::Owned kept = ICalEventSource::parse(*event.iCalendar);
  if (!kept || !keptTextAgrees(ICalEventSource::eventOf(kept.get()), event)) return std::nullopt;
  return ICalEventSource::key(*event.iCalendar);
}

bool CalendarRepository::readsRule(const std::string& rule) const {
  return ical::parseRule(rule).has_value();
}

Future<std::vector<std::shared_ptr<CalendarEntry>>> CalendarRepository::getCalendarEntries() {
  using Entries = std::vector<std::shared_ptr<CalendarEntry>>;
  Result<std::shared_ptr<EventStoreProtocol>> access = requestAccess();
  if (!access.ok()) return Future<Entries>::fail(access.error());
  const std::shared_ptr<EventStoreProtocol>& store = access.value();

  const Date start = midnightYearsAway(-1);
  const Date end = midnightYearsAway(1);
  Entries entries;
  for (const std::shared_ptr<StoreCalendar>& calendar : store->calendars()) {
    if (!isBackedUp(*calendar)) continue;
    std::vector<std::shared_ptr<StoreEvent>> events = store->events(start, end, {calendar});
    std::stable_sort(events.begin(), events.end(), [](const auto& left, const auto& right) {
      return left->startDate < right->startDate;
    });
    if (calendarFilter_) events = calendarFilter_->getFilteredEvents(events);
    auto entry = std::make_shared<CalendarEntry>();
    entry->id = calendar->calendarIdentifier;
    entry->title = calendar->title;
    entry->events.emplace();
    for (const std::shared_ptr<StoreEvent>& event : events) {
      entry->events->push_back(createCalendarEvent(*event));
      std::optional<std::string>& kept = entry->events->back().iCalendar;
      if (kept && kept->size() > ICalEventSource::kMaxBytes) {
        logWith(logger_, LogLevel::warning, [&] {
          return "event \"" + event->title + "\" in calendar \"" + calendar->title + "\" has " +
                 std::to_string(kept->size()) + " bytes, more than " +
                 std::to_string(ICalEventSource::kMaxBytes) + ": only its fields are kept";
        });
        kept.reset();
      }
    }
    entries.push_back(std::move(entry));
  }
  skipped_ = store->skippedItems();
  return Future<Entries>::success(std::move(entries));
}

Future<Void> CalendarRepository::createCalendarEntry(const std::shared_ptr<CalendarEntry>& entry) {
  Result<std::shared_ptr<EventStoreProtocol>> access = requestAccess();
  if (!access.ok()) {
    logWith(logger_, LogLevel::debug, [] { return std::string("Failed to get eventStore"); });
    return Future<Void>::success(Void{});
  }
  Result<void> created = createCalendarEntry(access.value(), *entry);
  if (!created.ok()) return Future<Void>::fail(created.error());
  return Future<Void>::success(Void{});
}

Result<std::shared_ptr<StoreCalendar>> CalendarRepository::newCalendar(EventStoreProtocol& store,
                                                                       const std::string& title) {
  std::shared_ptr<StoreCalendar> calendar = store.newCalendar();
  const std::vector<StoreSource> sources = store.sources();
  auto source = std::find_if(sources.begin(), sources.end(), [](const StoreSource& candidate) {
    return candidate.sourceType == StoreSourceType::local;
  });
  if (source == sources.end()) {
    source = std::find_if(sources.begin(), sources.end(), [](const StoreSource& candidate) {
      return candidate.sourceType == StoreSourceType::calDAV;
    });
  }
  if (source == sources.end()) return restoreError("Failed to get appropriate calendar source");
  calendar->source = *source;
  calendar->title = title;
  if (Result<void> saved = store.saveCalendar(calendar, true); !saved.ok()) return saved.error();
  return calendar;
}

Result<void> CalendarRepository::createCalendarEntry(
    const std::shared_ptr<EventStoreProtocol>& store, const CalendarEntry& entry) const {
  const bool hasEvents = entry.events && !entry.events->empty();
  // Without a writer the events would be dropped while the restore reports success.
  if (hasEvents && !calendarRepositoryHelper_) {
    return makeError(BackupSDKError::calendarsSaveCalendarFailed, "no writer for the events");
  }
  std::shared_ptr<StoreCalendar> calendar;
  for (const std::shared_ptr<StoreCalendar>& present : store->calendars()) {
    if (present->calendarIdentifier == entry.id && present->title == entry.title) {
      calendar = present;
    }
  }
  const bool existed = calendar != nullptr;
  if (!calendar) {
    if (Result<std::shared_ptr<StoreCalendar>> created = newCalendar(*store, entry.title);
        created.ok()) {
      calendar = created.value();
    } else {
      return created.error();
    }
  }
  if (!hasEvents) return {};

  const auto adapter = std::make_shared<EKEventStoreAdapter>(store);
  CalendarRepositoryHelper& helper = *calendarRepositoryHelper_;
  auto normal = helper.processSaveOfNormalEvents(adapter, calendar, *entry.events);
  if (!normal.ok()) return normal.error();
  const auto& [recurrent, detached] = normal.value();
  auto saved = helper.processSaveOfRecurrentEvents(detached, adapter, calendar, recurrent);
  if (!saved.ok()) return saved.error();
  std::vector<RecurrentEventPair> pairs = std::move(saved).value();
  if (existed) {
    // Changed occurrences of series this calendar holds already name those series.
    for (const CalendarEvent& occurrence : detached) {
      const std::string parent = *occurrence.parentId();
      const bool paired =
          std::any_of(pairs.begin(), pairs.end(),
                      [&](const RecurrentEventPair& pair) { return pair.event.id == parent; });
      if (paired) continue;
      CalendarEvent series;
      series.id = parent;
      auto stored = std::make_shared<StoreEvent>();
      stored->eventIdentifier = parent;
      pairs.push_back(RecurrentEventPair{series, stored});
    }
  }
  auto orphaned = helper.processSaveOfDetachedEvents(adapter, calendar, pairs, detached);
  if (!orphaned.ok()) return orphaned.error();
  return helper.processSaveOfOrphanedEvents(adapter, calendar, orphaned.value());
}

CalendarEvent CalendarRepository::createCalendarEvent(const StoreEvent& event) {
  CalendarEvent result;
  if (!event.recurrenceRules.empty()) result.recurrence = event.recurrenceRules.front().toRRule();
  result.id = event.eventIdentifier;
  if (event.isDetached && event.occurrenceDate) {
    const auto sinceReference =
        std::chrono::duration_cast<std::chrono::seconds>(event.occurrenceDate->time_since_epoch())
            .count() -
        kReferenceDateSeconds;
    result.id += "/RID=" + std::to_string(sinceReference);
  }
  result.title = event.title;
  result.start = roundedSeconds(event.startDate);
  result.end = roundedSeconds(event.endDate);
  result.allDay = event.isAllDay;
  result.note = event.notes;
  result.location = event.location;
  result.url = event.url;
  result.eventTimezone = event.timeZone ? *event.timeZone : machineZone();
  if (!event.isAllDay) result.eventTimezoneDefinition = event.timeZoneDefinition;
  auto secondsOf = [](const std::vector<Date>& dates) -> std::optional<std::vector<int64_t>> {
    if (dates.empty()) return std::nullopt;
    std::vector<int64_t> seconds;
    seconds.reserve(dates.size());
    for (const Date date : dates) seconds.push_back(roundedSeconds(date));
    return seconds;
  };
  if (event.source) result.iCalendar = *event.source;
  if (!event.isDetached) {
    result.exceptionDates = secondsOf(event.exceptionDates);
    result.recurrenceDates = secondsOf(event.recurrenceDates);
  }
  return result;
}

}  // namespace tessellon
