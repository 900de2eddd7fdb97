#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <libical/ical.h>

#include "tessellon/Date.h"

#include "futures/Result.h"
#include "platform/calendar/StoreEvent.h"

namespace tessellon {

// One iCalendar file of a calendar folder: its parsed components, the
// occurrences they describe, and the edits the store makes to them. Edits stay
// in memory until the store writes text() back.
class ICalSeriesFile {
 public:
  // The parsed file; fails with a message naming what is wrong (unreadable,
  // too large, not UTF-8, not iCalendar).
  static Result<std::unique_ptr<ICalSeriesFile>> read(const std::string& path);
  // An empty calendar object that will be written to `path`.
  static std::unique_ptr<ICalSeriesFile> create(const std::string& path);
  ~ICalSeriesFile();
  ICalSeriesFile(const ICalSeriesFile&) = delete;
  ICalSeriesFile& operator=(const ICalSeriesFile&) = delete;

  const std::string& path() const { return path_; }
  void setPath(std::string path) { path_ = std::move(path); }
  // False for a file this store created.
  bool existedOnDisk() const { return existedOnDisk_; }
  // Size and modification time when read, to refuse writing over a file
  // another program changed meanwhile.
  const std::string& diskStamp() const { return diskStamp_; }
  static std::string stampOf(const std::string& path);
  // Records that text() now lies on disk at path().
  void markWritten() {
    existedOnDisk_ = true;
    diskStamp_ = stampOf(path_);
  }

  // The identifiers of the series the file holds.
  std::vector<std::string> uids() const;

  // Adds the occurrences overlapping [start, end) to `events`; `problems`
  // receives a line for each event that cannot be read.
  void appendOccurrences(Date start, Date end, const std::shared_ptr<StoreCalendar>& calendar,
                         std::vector<std::shared_ptr<StoreEvent>>& events,
                         std::vector<std::string>& problems) const;

  // A new series made from `event` under the identifier `uid`.
  Result<void> addSeries(const StoreEvent& event, const std::string& uid);
  // Writes `event` as the changed occurrence of series `uid` that originally
  // started at `occurrence`.
  Result<void> saveOccurrence(const StoreEvent& event, const std::string& uid, Date occurrence);
  // Replaces the fields (and rule) of series `uid` with the event's.
  Result<void> saveSeries(const StoreEvent& event, const std::string& uid);
  // Ends series `uid` before `occurrence`.
  Result<void> endSeriesBefore(const std::string& uid, Date occurrence);
  // True when series `uid` has a rule.
  bool repeats(const std::string& uid) const;
  // The first occurrence's start of series `uid`.
  std::optional<Date> seriesStart(const std::string& uid) const;

  std::string text() const;

  // One line for each event the saves since the last call wrote from its fields where its kept
  // text said otherwise, or could not read; the caller warns with them.
  std::vector<std::string> takeOverruled() { return std::exchange(overruled_, {}); }

 private:
  ICalSeriesFile(std::string path, icalcomponent* root, bool existedOnDisk);
  icalcomponent* master(const std::string& uid) const;
  void appendSeries(icalcomponent* event, Date start, Date end,
                    const std::shared_ptr<StoreCalendar>& calendar,
                    std::vector<std::shared_ptr<StoreEvent>>& events,
                    std::vector<std::string>& problems) const;
  void setFields(icalcomponent* component, const StoreEvent& event, bool withRule);
  // Puts the kept event `source` onto `component`, whose fields are written: its other
  // properties and its alarms, and its own form of each field that says the same.
  void applySource(icalcomponent* component, icalcomponent* source, const StoreEvent& event,
                   bool withRule);
  // True when the kept times of `source` are those written on `component`: the same start (for
  // a series, the same rule, exceptions and additions, and a start not after it) and length.
  bool sameTimes(icalcomponent* component, icalcomponent* source, bool series) const;
  icaltimetype timeOf(icalproperty* property) const;

  std::string path_;
  icalcomponent* root_;
  bool existedOnDisk_;
  std::string diskStamp_;
  std::vector<std::string> overruled_;
};

}  // namespace tessellon
