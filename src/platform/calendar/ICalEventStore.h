#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/calendar/EventStoreProtocol.h"
#include "platform/calendar/ICalSeriesFile.h"

namespace tessellon {

// The event store over a folder of calendars: each sub-folder is a calendar
// (its name the identifier, its title in "displayname"), each ".ics" file in
// it one or more series. Files are read on first use and written back only by
// commit(), each atomically; a file another program changed meanwhile is never
// overwritten. Not thread-safe: one operation uses one instance.
class ICalEventStore final : public EventStoreProtocol {
 public:
  ICalEventStore(std::string root, std::shared_ptr<LoggerProtocol> logger);

  Result<void> requestAccess() override;
  std::vector<std::shared_ptr<StoreCalendar>> calendars() override;
  std::vector<StoreSource> sources() override;
  std::shared_ptr<StoreCalendar> newCalendar() override;
  Result<void> saveCalendar(const std::shared_ptr<StoreCalendar>& calendar, bool commit) override;
  std::shared_ptr<StoreEvent> newEvent() override;
  std::vector<std::shared_ptr<StoreEvent>> events(
      Date start, Date end, const std::vector<std::shared_ptr<StoreCalendar>>& calendars) override;
  Result<void> saveEvent(const std::shared_ptr<StoreEvent>& event, StoreEventSpan span,
                         bool commit) override;
  Result<void> commit() override;
  std::vector<SkippedItem> skippedItems() const override { return skipped_; }

 private:
  struct Folder {
    std::vector<std::unique_ptr<ICalSeriesFile>> files;
    std::map<std::string, ICalSeriesFile*> byUid;
  };

  std::string calendarPath(const std::string& identifier) const;
  Folder& folder(const std::string& identifier);
  Result<void> addSeries(Folder& target, const std::string& identifier, StoreEvent& event);
  void warn(std::string message) const;
  void warnOverruled(ICalSeriesFile& file) const;
  std::vector<SkippedItem> skipped_;

  const std::string root_;
  // May be null.
  const std::shared_ptr<LoggerProtocol> logger_;
  std::map<std::string, std::shared_ptr<StoreCalendar>> calendars_;
  std::map<std::string, Folder> folders_;
  std::vector<ICalSeriesFile*> pending_;
};

}  // namespace tessellon
