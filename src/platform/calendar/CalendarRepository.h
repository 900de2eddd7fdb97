#pragma once

#include <memory>
#include <string>

#include "tessellon/LoggerProtocol.h"

#include "platform/calendar/CalendarFilter.h"
#include "platform/calendar/CalendarRepositoryHelper.h"
#include "platform/calendar/CalendarRepositoryProtocol.h"
#include "platform/calendar/EventStoreProtocol.h"

namespace tessellon {

// The calendars under one folder of iCalendar files. Every call opens a fresh
// store, so it sees what other programs changed in between; calls complete
// synchronously on the caller's thread.
class CalendarRepository final : public CalendarRepositoryProtocol {
 public:
  // Domain of the store failures no code covers; the message reads
  // "RuntimeError(<text>)".
  static constexpr const char* kRestoreErrorDomain = "RestoreError";

  // `logger`, `calendarFilter` (without one every occurrence is kept) and
  // `calendarRepositoryHelper` (without one only calendars without events can
  // be restored) may be null.
  explicit CalendarRepository(
      std::string root, std::shared_ptr<LoggerProtocol> logger = nullptr,
      std::shared_ptr<CalendarFilter> calendarFilter = nullptr,
      std::shared_ptr<CalendarRepositoryHelper> calendarRepositoryHelper = nullptr);

  Future<Void> checkAccess(std::shared_ptr<CancelToken> cancelToken) override;
  Result<void> createStore() override;
  Future<std::vector<std::shared_ptr<CalendarEntry>>> getCalendarEntries() override;
  std::vector<SkippedItem> skippedItems() const override { return skipped_; }
  CalendarEvent storedForm(const CalendarEvent& event) const override;
  std::optional<std::string> sourceKey(const CalendarEvent& event) const override;
  bool readsRule(const std::string& rule) const override;
  Future<Void> createCalendarEntry(const std::shared_ptr<CalendarEntry>& entry) override;

  // The backed-up form of a store event.
  static CalendarEvent createCalendarEvent(const StoreEvent& event);

 private:
  Result<std::shared_ptr<EventStoreProtocol>> requestAccess() const;
  Result<void> createCalendarEntry(const std::shared_ptr<EventStoreProtocol>& store,
                                   const CalendarEntry& entry) const;
  // A new calendar titled `title` in the first local source, else the first CalDAV one.
  static Result<std::shared_ptr<StoreCalendar>> newCalendar(EventStoreProtocol& store,
                                                            const std::string& title);

  const std::string root_;
  // May be null.
  const std::shared_ptr<LoggerProtocol> logger_;
  // May be null.
  const std::shared_ptr<CalendarFilter> calendarFilter_;
  // May be null.
  const std::shared_ptr<CalendarRepositoryHelper> calendarRepositoryHelper_;
  std::vector<SkippedItem> skipped_;
};

}  // namespace tessellon
