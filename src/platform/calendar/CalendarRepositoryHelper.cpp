#include "platform/calendar/CalendarRepositoryHelper.h"

#include <algorithm>

#include "tessellon/BackupSDKError.h"

#include "core/Log.h"
#include "platform/calendar/ICalConversions.h"

namespace tessellon {
namespace {

Date instantOf(int64_t seconds) {
  return Date(std::chrono::seconds(ical::boundedSeconds(seconds)));
}

}  // namespace

CalendarRepositoryHelper::CalendarRepositoryHelper(
    std::shared_ptr<LoggerProtocol> logger,
    std::shared_ptr<CalendarEventUpdater> calendarEventUpdater)
    : logger_(std::move(logger)), calendarEventUpdater_(std::move(calendarEventUpdater)) {}

Result<EventStoreProtocol*> CalendarRepositoryHelper::storeOf(
    const std::shared_ptr<EKEventStoreAdapter>& eventStore) const {
  EventStoreProtocol* store = eventStore ? eventStore->eventStore().get() : nullptr;
  if (store == nullptr) {
    return makeError(BackupSDKError::calendarsSaveCalendarFailed, "no event store");
  }
  if (!calendarEventUpdater_) {
    return makeError(BackupSDKError::calendarsSaveCalendarFailed, "no calendar event updater");
  }
  return store;
}

Result<void> CalendarRepositoryHelper::saveSingleEvents(
    EventStoreProtocol& store, const std::shared_ptr<StoreCalendar>& calendar,
    const std::vector<CalendarEvent>& events) const {
  for (const CalendarEvent& event : events) {
    std::shared_ptr<StoreEvent> created = store.newEvent();
    created->calendar = calendar;
    calendarEventUpdater_->updateBaseFields(*created, event, instantOf(event.start),
                                            instantOf(event.end));
    if (Result<void> saved = store.saveEvent(created, StoreEventSpan::thisEvent, false);
        !saved.ok()) {
      return saved;
    }
  }
  return {};
}

Result<std::pair<std::vector<CalendarEvent>, std::vector<CalendarEvent>>>
CalendarRepositoryHelper::processSaveOfNormalEvents(
    const std::shared_ptr<EKEventStoreAdapter>& eventStore,
    const std::shared_ptr<StoreCalendar>& calendar,
    const std::vector<CalendarEvent>& calendarEvents) {
  std::vector<CalendarEvent> recurrent;
  std::vector<CalendarEvent> detached;
  std::vector<CalendarEvent> single;
  for (const CalendarEvent& event : calendarEvents) {
    if (event.isDetached()) {
      detached.push_back(event);
    } else if (event.recurrence) {
      recurrent.push_back(event);
    } else {
      single.push_back(event);
    }
  }
  if (!single.empty()) {
    Result<EventStoreProtocol*> store = storeOf(eventStore);
    if (!store.ok()) return store.error();
    if (Result<void> saved = saveSingleEvents(*store.value(), calendar, single); !saved.ok()) {
      return saved.error();
    }
  }
  if (eventStore) {
    if (Result<void> committed = eventStore->commit(); !committed.ok()) return committed.error();
  }
  return std::make_pair(std::move(recurrent), std::move(detached));
}

std::shared_ptr<StoreEvent> CalendarRepositoryHelper::createEvent(
    EventStoreProtocol& store, const std::shared_ptr<StoreCalendar>& calendar,
    const CalendarEvent& event, const RecurrenceRule& rule,
    const std::vector<CalendarEvent>& detachedEvents) const {
  std::shared_ptr<StoreEvent> created = store.newEvent();
  const Date start =
      calendarEventUpdater_->selectEarliestDateFromRecurrentEvents(event, detachedEvents);
  const Date end = start + (instantOf(event.end) - instantOf(event.start));
  created->calendar = calendar;
  created->recurrenceRules = {rule};
  calendarEventUpdater_->updateBaseFields(*created, event, start, end);
  return created;
}

Result<std::vector<RecurrentEventPair>> CalendarRepositoryHelper::processSaveOfRecurrentEvents(
    const std::vector<CalendarEvent>& detachedEvents,
    const std::shared_ptr<EKEventStoreAdapter>& eventStore,
    const std::shared_ptr<StoreCalendar>& calendar,
    const std::vector<CalendarEvent>& recurrentEvents) {
  std::vector<RecurrentEventPair> pairs;
  if (recurrentEvents.empty()) return pairs;
  Result<EventStoreProtocol*> store = storeOf(eventStore);
  if (!store.ok()) return store.error();
  for (const CalendarEvent& event : recurrentEvents) {
    const std::string text = event.recurrence.value_or("");
    const std::optional<RecurrenceRule> rule = ical::parseRule(text);
    if (!rule) {
      logWith(logger_, LogLevel::warning,
              [&text] { return "Failed to interpret rrule " + text + ". Was nil"; });
      continue;
    }
    std::shared_ptr<StoreEvent> created =
        createEvent(*store.value(), calendar, event, *rule, detachedEvents);
    if (Result<void> saved = store.value()->saveEvent(created, StoreEventSpan::futureEvents, true);
        !saved.ok()) {
      return saved.error();
    }
    pairs.push_back(RecurrentEventPair{event, std::move(created)});
  }
  return pairs;
}

Result<std::vector<CalendarEvent>> CalendarRepositoryHelper::processSaveOfDetachedEvents(
    const std::shared_ptr<EKEventStoreAdapter>& eventStore,
    const std::shared_ptr<StoreCalendar>& calendar,
    const std::vector<RecurrentEventPair>& recurrentEventPairs,
    const std::vector<CalendarEvent>& detachedEvents) {
  std::vector<CalendarEvent> orphaned;
  if (detachedEvents.empty()) return orphaned;
  Result<EventStoreProtocol*> store = storeOf(eventStore);
  if (!store.ok()) return store.error();
  for (const CalendarEvent& detached : detachedEvents) {
    const auto pair = std::find_if(recurrentEventPairs.begin(), recurrentEventPairs.end(),
                                   [&](const RecurrentEventPair& p) {
                                     return p.storeEvent && detached.parentId() == p.event.id;
                                   });
    if (pair == recurrentEventPairs.end()) {
      orphaned.push_back(detached);
      continue;
    }
    const std::vector<std::shared_ptr<StoreEvent>> fetched =
        calendarEventUpdater_->getFetchedEvents(detached, eventStore, calendar, *pair->storeEvent);
    if (fetched.empty()) {
      orphaned.push_back(detached);
      continue;
    }
    const std::shared_ptr<StoreEvent>& occurrence = fetched.front();
    calendarEventUpdater_->updateBaseFields(*occurrence, detached, instantOf(detached.start),
                                            instantOf(detached.end));
    if (Result<void> saved = store.value()->saveEvent(occurrence, StoreEventSpan::thisEvent, false);
        !saved.ok()) {
      return saved.error();
    }
  }
  if (Result<void> committed = eventStore->commit(); !committed.ok()) return committed.error();
  return orphaned;
}

Result<void> CalendarRepositoryHelper::processSaveOfOrphanedEvents(
    const std::shared_ptr<EKEventStoreAdapter>& eventStore,
    const std::shared_ptr<StoreCalendar>& calendar,
    const std::vector<CalendarEvent>& orphanedEvents) {
  if (orphanedEvents.empty()) return {};
  Result<EventStoreProtocol*> store = storeOf(eventStore);
  if (!store.ok()) return store.error();
  if (Result<void> saved = saveSingleEvents(*store.value(), calendar, orphanedEvents);
      !saved.ok()) {
    return saved;
  }
  return eventStore->commit();
}

}  // namespace tessellon
