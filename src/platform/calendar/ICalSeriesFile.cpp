#include "platform/calendar/ICalSeriesFile.h"

#include <sys/stat.h>
#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#include "tessellon/BackupSDKError.h"

#include "platform/calendar/ICalComponents.h"
#include "platform/calendar/ICalConversions.h"
#include "platform/calendar/ICalEventSource.h"
#include "platform/text/Utf8.h"

namespace tessellon {
namespace {

using ical::children;
using ical::properties;
using ical::removeAll;
using ical::secondsOf;

// Larger files are not calendars a person keeps; reading them could exhaust memory.
constexpr std::streamoff kMaxFileBytes = 16 << 20;
// Bounds the work one series can cause, whatever its rule says.
constexpr int kMaxIterations = 200'000;
constexpr const char* kProductId = "-//Tessellon//Calendar Store//EN";

icaltimetype dayAfter(icaltimetype date) {
  icaltime_adjust(&date, 1, 0, 0, 0);
  return date;
}

}  // namespace

ICalSeriesFile::ICalSeriesFile(std::string path, icalcomponent* root, bool existedOnDisk)
    : path_(std::move(path)), root_(root), existedOnDisk_(existedOnDisk) {}

ICalSeriesFile::~ICalSeriesFile() { icalcomponent_free(root_); }

std::string ICalSeriesFile::stampOf(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return "missing";
  return std::to_string(status.st_ino) + ":" + std::to_string(status.st_size) + ":" +
         std::to_string(status.st_mtim.tv_sec) + "." + std::to_string(status.st_mtim.tv_nsec);
}

Result<std::unique_ptr<ICalSeriesFile>> ICalSeriesFile::read(const std::string& path) {
  const std::string stamp = stampOf(path);
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return makeError(BackupSDKError::calendarsAccessDenied, "cannot be opened");
  const std::streamoff size = file.tellg();
  if (size < 0 || size > kMaxFileBytes) {
    return makeError(BackupSDKError::calendarsAccessDenied, "too large");
  }
  file.seekg(0);
  std::string bytes(static_cast<size_t>(size), '\0');
  if (!file.read(bytes.data(), size)) {
    return makeError(BackupSDKError::calendarsAccessDenied, "cannot be read");
  }
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);
  if (!isValidUtf8(bytes) || bytes.find('\0') != std::string::npos) {
    return makeError(BackupSDKError::calendarsAccessDenied, "not UTF-8 text");
  }
  icalcomponent* root = icalparser_parse_string(bytes.c_str());
  if (root == nullptr) return makeError(BackupSDKError::calendarsAccessDenied, "not iCalendar");
  const icalcomponent_kind kind = icalcomponent_isa(root);
  if (kind != ICAL_VCALENDAR_COMPONENT && kind != ICAL_XROOT_COMPONENT &&
      kind != ICAL_VEVENT_COMPONENT) {
    icalcomponent_free(root);
    return makeError(BackupSDKError::calendarsAccessDenied, "not a calendar object");
  }
  std::unique_ptr<ICalSeriesFile> series(new ICalSeriesFile(path, root, true));
  series->diskStamp_ = stamp;
  return series;
}

std::unique_ptr<ICalSeriesFile> ICalSeriesFile::create(const std::string& path) {
  icalcomponent* root =
      icalcomponent_vanew(ICAL_VCALENDAR_COMPONENT, icalproperty_new_version("2.0"),
                          icalproperty_new_prodid(kProductId), nullptr);
  return std::unique_ptr<ICalSeriesFile>(new ICalSeriesFile(path, root, false));
}

std::vector<std::string> ICalSeriesFile::uids() const {
  std::vector<std::string> found;
  std::vector<icalcomponent*> calendars{root_};
  if (icalcomponent_isa(root_) == ICAL_XROOT_COMPONENT) {
    calendars = children(root_, ICAL_VCALENDAR_COMPONENT);
  }
  for (icalcomponent* calendar : calendars) {
    std::vector<icalcomponent*> events = icalcomponent_isa(calendar) == ICAL_VEVENT_COMPONENT
                                             ? std::vector<icalcomponent*>{calendar}
                                             : children(calendar, ICAL_VEVENT_COMPONENT);
    for (icalcomponent* event : events) {
      const char* uid = icalcomponent_get_uid(event);
      const std::string identifier = uid != nullptr && *uid != '\0' ? uid : path_;
      if (std::find(found.begin(), found.end(), identifier) == found.end())
        found.push_back(identifier);
    }
  }
  return found;
}

icaltimetype ICalSeriesFile::timeOf(icalproperty* property) const {
  if (property == nullptr) return icaltime_null_time();
  icalvalue* value = icalproperty_get_value(property);
  if (value == nullptr) return icaltime_null_time();
  icaltimetype time = icaltime_null_time();
  switch (icalvalue_isa(value)) {
    case ICAL_DATE_VALUE:
      time = icalvalue_get_date(value);
      break;
    case ICAL_DATETIME_VALUE:
      time = icalvalue_get_datetime(value);
      break;
    case ICAL_DATETIMEPERIOD_VALUE: {
      const icaldatetimeperiodtype period = icalvalue_get_datetimeperiod(value);
      time = icaltime_is_null_time(period.time) ? period.period.start : period.time;
      break;
    }
    default:
      return icaltime_null_time();
  }
  if (!icaltime_is_valid_time(time) || time.month < 1 || time.month > 12 || time.day < 1 ||
      time.day > 31) {
    return icaltime_null_time();
  }
  if (time.is_date || icaltime_is_utc(time)) return time;
  icalparameter* tzidParameter = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
  const char* tzid = tzidParameter != nullptr ? icalparameter_get_tzid(tzidParameter) : nullptr;
  if (tzid == nullptr) return time;
  // A zone the system knows is shared by every file and expanded once; a file's own
  // definition serves names the system does not know.
  icaltimezone* zone = ical::zoneNamed(tzid);
  if (zone == nullptr) {
    icalcomponent* owner = icalproperty_get_parent(property);
    icalcomponent* calendar = owner != nullptr ? icalcomponent_get_parent(owner) : nullptr;
    zone = calendar != nullptr ? icalcomponent_get_timezone(calendar, tzid) : nullptr;
  }
  time.zone = zone;
  return time;
}

icalcomponent* ICalSeriesFile::master(const std::string& uid) const {
  std::vector<icalcomponent*> calendars{root_};
  if (icalcomponent_isa(root_) == ICAL_XROOT_COMPONENT) {
    calendars = children(root_, ICAL_VCALENDAR_COMPONENT);
  }
  for (icalcomponent* calendar : calendars) {
    if (icalcomponent_isa(calendar) == ICAL_VEVENT_COMPONENT) {
      return calendar;
    }
    for (icalcomponent* event : children(calendar, ICAL_VEVENT_COMPONENT)) {
      const char* eventUid = icalcomponent_get_uid(event);
      const std::string identifier = eventUid != nullptr && *eventUid != '\0' ? eventUid : path_;
      if (identifier == uid &&
          icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY) == nullptr) {
        return event;
      }
    }
  }
  return nullptr;
}

void ICalSeriesFile::appendOccurrences(Date start, Date end,
                                       const std::shared_ptr<StoreCalendar>& calendar,
                                       std::vector<std::shared_ptr<StoreEvent>>& events,
                                       std::vector<std::string>& problems) const {
  std::vector<icalcomponent*> calendars{root_};
  if (icalcomponent_isa(root_) == ICAL_XROOT_COMPONENT) {
    calendars = children(root_, ICAL_VCALENDAR_COMPONENT);
  }
  for (icalcomponent* container : calendars) {
    const std::vector<icalcomponent*> components =
        icalcomponent_isa(container) == ICAL_VEVENT_COMPONENT
            ? std::vector<icalcomponent*>{container}
            : children(container, ICAL_VEVENT_COMPONENT);
    for (icalcomponent* component : components) {
      appendSeries(component, start, end, calendar, events, problems);
    }
  }
}

void ICalSeriesFile::appendSeries(icalcomponent* component, Date windowStart, Date windowEnd,
                                  const std::shared_ptr<StoreCalendar>& calendar,
                                  std::vector<std::shared_ptr<StoreEvent>>& events,
                                  std::vector<std::string>& problems) const {
  const char* rawUid = icalcomponent_get_uid(component);
  const std::string uid = rawUid != nullptr && *rawUid != '\0' ? rawUid : path_;
  const auto timeOfProperty = [this](icalproperty* property) { return timeOf(property); };
  const icaltimetype start =
      timeOf(icalcomponent_get_first_property(component, ICAL_DTSTART_PROPERTY));
  icalproperty* recurrenceId =
      icalcomponent_get_first_property(component, ICAL_RECURRENCEID_PROPERTY);
  const icaltimetype original = timeOf(recurrenceId);
  if (icaltime_is_null_time(start)) {
    problems.push_back("event " + uid + " has no readable DTSTART");
    return;
  }

  // A part libical could not read (a rule, a date) is gone from the event; the event is still
  // listed, and so is what it lost.
  for (icalproperty* error : properties(component, ICAL_XLICERROR_PROPERTY)) {
    const char* text = icalproperty_get_xlicerror(error);
    problems.push_back("event " + uid +
                       " lost a part that cannot be read: " + (text != nullptr ? text : "unknown"));
  }

  StoreEvent shared;
  shared.eventIdentifier = uid;
  shared.calendar = calendar;
  ical::fillFields(shared, component, start);
  // Written out only for an event listed: most series of a file lie outside a window.
  std::shared_ptr<const std::string> source;
  const auto keepSource = [&](StoreEvent& event) {
    if (!source) source = std::make_shared<const std::string>(ICalEventSource::of(component));
    event.source = source;
  };

  // A changed occurrence stands for itself; its series skips the original slot.
  if (recurrenceId != nullptr) {
    if (icaltime_is_null_time(original)) {
      problems.push_back("occurrence of " + uid + " has no readable RECURRENCE-ID");
      return;
    }
    auto event = std::make_shared<StoreEvent>(shared);
    event->isDetached = true;
    event->occurrenceDate = ical::instantOf(original);
    if (ical::placeOccurrence(*event, start, ical::lengthOf(component, start, timeOfProperty),
                              windowStart, windowEnd)) {
      keepSource(*event);
      events.push_back(std::move(event));
    }
    return;
  }

  const ical::Length length = ical::lengthOf(component, start, timeOfProperty);
  std::set<int64_t> skipped;
  for (icalproperty* exdate : properties(component, ICAL_EXDATE_PROPERTY)) {
    const icaltimetype excluded = timeOf(exdate);
    if (icaltime_is_null_time(excluded)) continue;
    skipped.insert(secondsOf(ical::instantOf(excluded)));
    shared.exceptionDates.push_back(ical::instantOf(excluded));
  }
  for (icalproperty* rdate : properties(component, ICAL_RDATE_PROPERTY)) {
    const icaltimetype added = timeOf(rdate);
    if (!icaltime_is_null_time(added)) shared.recurrenceDates.push_back(ical::instantOf(added));
  }
  icalcomponent* parent = icalcomponent_get_parent(component);
  if (parent != nullptr) {
    for (icalcomponent* sibling : children(parent, ICAL_VEVENT_COMPONENT)) {
      const char* siblingUid = icalcomponent_get_uid(sibling);
      if (sibling == component || siblingUid == nullptr || uid != siblingUid) continue;
      const icaltimetype moved =
          timeOf(icalcomponent_get_first_property(sibling, ICAL_RECURRENCEID_PROPERTY));
      if (!icaltime_is_null_time(moved)) skipped.insert(secondsOf(ical::instantOf(moved)));
    }
  }

  const auto emit = [&](icaltimetype occurrence) {
    occurrence.zone = start.zone;
    occurrence.is_date = start.is_date;
    auto event = std::make_shared<StoreEvent>(shared);
    if (!ical::placeOccurrence(*event, occurrence, length, windowStart, windowEnd)) return;
    if (skipped.count(secondsOf(event->startDate)) != 0) return;
    event->occurrenceDate = event->startDate;
    keepSource(*event);
    events.push_back(std::move(event));
  };

  icalproperty* rule = icalcomponent_get_first_property(component, ICAL_RRULE_PROPERTY);
  const icalrecurrencetype recurrence =
      rule != nullptr ? icalproperty_get_rrule(rule) : icalrecurrencetype{};
  const bool repeats = rule != nullptr && recurrence.freq != ICAL_NO_RECURRENCE;
  if (!repeats) {
    emit(start);
  } else {
    shared.recurrenceRules.push_back(ical::ruleOf(recurrence));
    icalrecur_iterator* iterator = icalrecur_iterator_new(recurrence, start);
    if (iterator == nullptr) {
      problems.push_back("event " + uid + " has a rule that cannot be expanded");
      emit(start);
    } else {
      // A series repeating within the day would spend the iteration bound before the window;
      // without COUNT its expansion may begin at the window (less one occurrence's length).
      if (recurrence.freq < ICAL_DAILY_RECURRENCE && recurrence.count == 0) {
        const Date from = windowStart - std::chrono::seconds(length.seconds);
        if (ical::instantOf(start) < from) {
          icalrecur_iterator_set_start(iterator, ical::timeLike(from, start));
        }
      }
      int iterations = 0;
      const size_t before = events.size();
      for (icaltimetype next = icalrecur_iterator_next(iterator); !icaltime_is_null_time(next);
           next = icalrecur_iterator_next(iterator)) {
        // The listing of one series is bounded. Once it has an occurrence in the window the
        // series, and its whole rule, is listed; without one it is lost, and says so.
        if (++iterations > kMaxIterations) {
          if (events.size() == before) {
            problems.push_back("event " + uid + " repeats too often before the window");
          }
          break;
        }
        next.zone = start.zone;
        if (ical::instantOf(next) >= windowEnd) break;
        emit(next);
      }
      icalrecur_iterator_free(iterator);
    }
  }
  for (icalproperty* rdate : properties(component, ICAL_RDATE_PROPERTY)) {
    const icaltimetype added = timeOf(rdate);
    if (!icaltime_is_null_time(added)) emit(added);
  }
}

namespace {

// TZID parameter and VTIMEZONE for a zoned time; nothing for UTC and floating.
void attachZone(icalproperty* property, icalcomponent* calendar, icaltimezone* zone) {
  icalproperty_remove_parameter_by_kind(property, ICAL_TZID_PARAMETER);
  if (zone == nullptr || zone == icaltimezone_get_utc_timezone()) return;
  const std::string name = ical::identifierOf(zone);
  icalproperty_add_parameter(property, icalparameter_new_tzid(name.c_str()));
  if (calendar == nullptr || icalcomponent_isa(calendar) != ICAL_VCALENDAR_COMPONENT) return;
  for (icalcomponent* existing : children(calendar, ICAL_VTIMEZONE_COMPONENT)) {
    icalproperty* tzid = icalcomponent_get_first_property(existing, ICAL_TZID_PROPERTY);
    if (tzid != nullptr && name == icalproperty_get_tzid(tzid)) return;
  }
  icalcomponent* definition = icaltimezone_get_component(zone);
  if (definition == nullptr) return;
  icalcomponent* copy = icalcomponent_new_clone(definition);
  removeAll(copy, ICAL_TZID_PROPERTY);
  icalcomponent_add_property(copy, icalproperty_new_tzid(name.c_str()));
  icalcomponent_add_component(calendar, copy);
}

// The zone a VTIMEZONE `definition` describes, added to `calendar` unless a zone of that TZID is
// there already; null when the text is not one.
icaltimezone* definedZone(icalcomponent* calendar, const std::string& tzid,
                          const std::string& definition) {
  if (calendar == nullptr || icalcomponent_isa(calendar) != ICAL_VCALENDAR_COMPONENT)
    return nullptr;
  if (icaltimezone* present = icalcomponent_get_timezone(calendar, tzid.c_str())) return present;
  icalcomponent* parsed = icalparser_parse_string(definition.c_str());
  if (parsed == nullptr) return nullptr;
  if (icalcomponent_isa(parsed) != ICAL_VTIMEZONE_COMPONENT) {
    icalcomponent_free(parsed);
    return nullptr;
  }
  icalcomponent_add_component(calendar, parsed);
  return icalcomponent_get_timezone(calendar, tzid.c_str());
}

// A kept event keeps its own LAST-MODIFIED: the restore brings it back, it does not change it.
void stamp(icalcomponent* component, bool modified) {
  const icaltimetype now = icaltime_current_time_with_zone(icaltimezone_get_utc_timezone());
  removeAll(component, ICAL_DTSTAMP_PROPERTY);
  icalcomponent_add_property(component, icalproperty_new_dtstamp(now));
  if (!modified) return;
  removeAll(component, ICAL_LASTMODIFIED_PROPERTY);
  icalcomponent_add_property(component, icalproperty_new_lastmodified(now));
}

// The properties an event's fields write; a kept event gives its own form of them only where
// it says the same.
bool isWrittenFromFields(icalproperty_kind kind) {
  switch (kind) {
    case ICAL_UID_PROPERTY:
    case ICAL_RECURRENCEID_PROPERTY:
    case ICAL_DTSTAMP_PROPERTY:
    case ICAL_DTSTART_PROPERTY:
    case ICAL_DTEND_PROPERTY:
    case ICAL_DURATION_PROPERTY:
    case ICAL_SUMMARY_PROPERTY:
    case ICAL_DESCRIPTION_PROPERTY:
    case ICAL_LOCATION_PROPERTY:
    case ICAL_URL_PROPERTY:
    case ICAL_RRULE_PROPERTY:
    case ICAL_EXDATE_PROPERTY:
    case ICAL_RDATE_PROPERTY:
      return true;
    default:
      return false;
  }
}

std::string valueText(icalproperty* property) {
  char* value = icalproperty_get_value_as_string_r(property);
  std::string text = value != nullptr ? value : "";
  if (value != nullptr) icalmemory_free_buffer(value);
  return text;
}

void replaceAll(icalcomponent* component, icalcomponent* source, icalproperty_kind kind) {
  removeAll(component, kind);
  for (icalproperty* property : properties(source, kind)) {
    icalcomponent_add_property(component, icalproperty_new_clone(property));
  }
}

// The VTIMEZONEs of a kept event that `calendar` lacks, so its times keep naming the very
// definitions they were written with.
void addKeptZones(icalcomponent* calendar, icalcomponent* kept) {
  if (calendar == nullptr || icalcomponent_isa(calendar) != ICAL_VCALENDAR_COMPONENT) return;
  for (icalcomponent* zone : children(kept, ICAL_VTIMEZONE_COMPONENT)) {
    icalproperty* tzid = icalcomponent_get_first_property(zone, ICAL_TZID_PROPERTY);
    if (tzid == nullptr) continue;
    const std::string name = icalproperty_get_tzid(tzid);
    bool present = false;
    for (icalcomponent* existing : children(calendar, ICAL_VTIMEZONE_COMPONENT)) {
      icalproperty* known = icalcomponent_get_first_property(existing, ICAL_TZID_PROPERTY);
      present = present || (known != nullptr && name == icalproperty_get_tzid(known));
    }
    if (!present) icalcomponent_add_component(calendar, icalcomponent_new_clone(zone));
  }
}

}  // namespace

void ICalSeriesFile::setFields(icalcomponent* component, const StoreEvent& event, bool withRule) {
  ICalEventSource::Owned kept;
  if (event.source) {
    kept = ICalEventSource::parse(*event.source);
    if (!kept) {
      overruled_.push_back("event \"" + event.title +
                           "\": its kept text does not read, written from its fields");
    }
  }
  // An occurrence read from a series carries the series' text, and the series an occurrence's:
  // neither describes this component.
  const bool isOccurrence =
      icalcomponent_get_first_property(component, ICAL_RECURRENCEID_PROPERTY) != nullptr;
  if (kept &&
      isOccurrence != (icalcomponent_get_first_property(ICalEventSource::eventOf(kept.get()),
                                                        ICAL_RECURRENCEID_PROPERTY) != nullptr)) {
    kept.reset();
  }
  if (kept) addKeptZones(icalcomponent_get_parent(component), kept.get());
  for (const icalproperty_kind kind :
       {ICAL_DTSTART_PROPERTY, ICAL_DTEND_PROPERTY, ICAL_DURATION_PROPERTY, ICAL_SUMMARY_PROPERTY,
        ICAL_DESCRIPTION_PROPERTY, ICAL_LOCATION_PROPERTY, ICAL_URL_PROPERTY}) {
    removeAll(component, kind);
  }
  icalcomponent* calendar = icalcomponent_get_parent(component);
  const Date end = std::max(event.startDate, event.endDate);
  icalproperty* startProperty = nullptr;
  icalproperty* endProperty = nullptr;
  icaltimetype startTime = icaltime_null_time();
  if (event.isAllDay) {
    const icaltimetype startDay = ical::localDate(event.startDate);
    icaltimetype endDay = ical::localDate(end);
    if (icaltime_compare_date_only(endDay, startDay) < 0) endDay = startDay;
    startTime = startDay;
    startProperty = icalproperty_new_dtstart(startDay);
    endProperty = icalproperty_new_dtend(dayAfter(endDay));
  } else {
    icaltimezone* zone = event.timeZone ? ical::zoneNamed(*event.timeZone) : nullptr;
    if (zone == nullptr && event.timeZone && event.timeZoneDefinition) {
      zone = definedZone(calendar, *event.timeZone, *event.timeZoneDefinition);
    }
    startTime = ical::timeIn(event.startDate, zone);
    startProperty = icalproperty_new_dtstart(startTime);
    endProperty = icalproperty_new_dtend(ical::timeIn(end, zone));
    attachZone(startProperty, calendar, zone);
    attachZone(endProperty, calendar, zone);
  }
  icalcomponent_add_property(component, startProperty);
  icalcomponent_add_property(component, endProperty);
  icalcomponent_add_property(component, icalproperty_new_summary(event.title.c_str()));
  if (event.notes) {
    icalcomponent_add_property(component, icalproperty_new_description(event.notes->c_str()));
  }
  if (event.location) {
    icalcomponent_add_property(component, icalproperty_new_location(event.location->c_str()));
  }
  if (event.url) icalcomponent_add_property(component, icalproperty_new_url(event.url->c_str()));
  if (withRule) {
    for (const icalproperty_kind kind :
         {ICAL_RRULE_PROPERTY, ICAL_EXDATE_PROPERTY, ICAL_RDATE_PROPERTY}) {
      removeAll(component, kind);
    }
    if (!event.recurrenceRules.empty()) {
      icalcomponent_add_property(
          component, icalproperty_new_rrule(ical::recurrenceOf(event.recurrenceRules.front())));
    }
    // In DTSTART's own form, as the standard asks and readers match them.
    icaltimezone* zone = const_cast<icaltimezone*>(startTime.zone);
    const bool zoned = !startTime.is_date && !icaltime_is_utc(startTime) && zone != nullptr;
    for (const Date excluded : event.exceptionDates) {
      icalproperty* exdate = icalproperty_new_exdate(ical::timeLike(excluded, startTime));
      if (zoned) attachZone(exdate, calendar, zone);
      icalcomponent_add_property(component, exdate);
    }
    for (const Date added : event.recurrenceDates) {
      icaldatetimeperiodtype value{};
      value.time = ical::timeLike(added, startTime);
      value.period = icalperiodtype_null_period();
      icalproperty* rdate = icalproperty_new_rdate(value);
      if (zoned) attachZone(rdate, calendar, zone);
      icalcomponent_add_property(component, rdate);
    }
  }
  if (kept) {
    applySource(component, ICalEventSource::eventOf(kept.get()), event,
                withRule && !event.recurrenceRules.empty());
  }
  stamp(component, !kept);
}

bool ICalSeriesFile::sameTimes(icalcomponent* component, icalcomponent* source, bool series) const {
  const auto timeOfProperty = [this](icalproperty* property) { return timeOf(property); };
  const icaltimetype written =
      timeOf(icalcomponent_get_first_property(component, ICAL_DTSTART_PROPERTY));
  const icaltimetype kept = timeOf(icalcomponent_get_first_property(source, ICAL_DTSTART_PROPERTY));
  if (icaltime_is_null_time(written) || icaltime_is_null_time(kept) ||
      written.is_date != kept.is_date) {
    return false;
  }
  const ical::Length writtenLength = ical::lengthOf(component, written, timeOfProperty);
  const ical::Length keptLength = ical::lengthOf(source, kept, timeOfProperty);
  if (writtenLength.days != keptLength.days || writtenLength.seconds != keptLength.seconds) {
    return false;
  }
  const int64_t writtenStart = secondsOf(ical::instantOf(written));
  const int64_t keptStart = secondsOf(ical::instantOf(kept));
  if (!series) return writtenStart == keptStart;
  // A series was backed up from its first occurrence in a window; its kept start may be earlier.
  if (keptStart > writtenStart) return false;
  icalproperty* writtenRule = icalcomponent_get_first_property(component, ICAL_RRULE_PROPERTY);
  icalproperty* keptRule = icalcomponent_get_first_property(source, ICAL_RRULE_PROPERTY);
  if (writtenRule == nullptr || keptRule == nullptr ||
      !(ical::ruleOf(icalproperty_get_rrule(writtenRule)) ==
        ical::ruleOf(icalproperty_get_rrule(keptRule)))) {
    return false;
  }
  const auto instants = [this](icalcomponent* event, icalproperty_kind kind) {
    std::multiset<int64_t> found;
    for (icalproperty* property : properties(event, kind)) {
      const icaltimetype time = timeOf(property);
      if (!icaltime_is_null_time(time)) found.insert(secondsOf(ical::instantOf(time)));
    }
    return found;
  };
  return instants(component, ICAL_EXDATE_PROPERTY) == instants(source, ICAL_EXDATE_PROPERTY) &&
         instants(component, ICAL_RDATE_PROPERTY) == instants(source, ICAL_RDATE_PROPERTY);
}

void ICalSeriesFile::applySource(icalcomponent* component, icalcomponent* source,
                                 const StoreEvent& event, bool withRule) {
  // What an earlier save left on the component gives way to the kept event.
  for (icalproperty* property : properties(component, ICAL_ANY_PROPERTY)) {
    if (isWrittenFromFields(icalproperty_isa(property))) continue;
    icalcomponent_remove_property(component, property);
    icalproperty_free(property);
  }
  for (icalcomponent* child : children(component, ICAL_ANY_COMPONENT)) {
    icalcomponent_remove_component(component, child);
    icalcomponent_free(child);
  }
  std::string differing;
  auto differs = [&differing](const char* what) {
    differing += (differing.empty() ? "" : ", ") + std::string(what);
  };
  for (const icalproperty_kind kind : {ICAL_SUMMARY_PROPERTY, ICAL_DESCRIPTION_PROPERTY,
                                       ICAL_LOCATION_PROPERTY, ICAL_URL_PROPERTY}) {
    icalproperty* written = icalcomponent_get_first_property(component, kind);
    icalproperty* kept = icalcomponent_get_first_property(source, kind);
    if (written == nullptr && kept == nullptr) continue;
    if (written != nullptr && kept != nullptr && valueText(written) == valueText(kept)) {
      // The kept one carries its parameters (language, alternative text) too.
      replaceAll(component, source, kind);
    } else {
      differs(icalproperty_kind_to_string(kind));
    }
  }
  if (sameTimes(component, source, withRule)) {
    for (const icalproperty_kind kind :
         {ICAL_DTSTART_PROPERTY, ICAL_DTEND_PROPERTY, ICAL_DURATION_PROPERTY}) {
      replaceAll(component, source, kind);
    }
    if (withRule) {
      for (const icalproperty_kind kind :
           {ICAL_RRULE_PROPERTY, ICAL_EXDATE_PROPERTY, ICAL_RDATE_PROPERTY}) {
        replaceAll(component, source, kind);
      }
    }
  } else {
    differs("times");
  }
  icalproperty* writtenOriginal =
      icalcomponent_get_first_property(component, ICAL_RECURRENCEID_PROPERTY);
  icalproperty* keptOriginal = icalcomponent_get_first_property(source, ICAL_RECURRENCEID_PROPERTY);
  if (writtenOriginal != nullptr && keptOriginal != nullptr) {
    const icaltimetype written = timeOf(writtenOriginal);
    const icaltimetype kept = timeOf(keptOriginal);
    if (!icaltime_is_null_time(written) && !icaltime_is_null_time(kept) &&
        secondsOf(ical::instantOf(written)) == secondsOf(ical::instantOf(kept))) {
      replaceAll(component, source, ICAL_RECURRENCEID_PROPERTY);
    }
  }
  for (icalproperty* property : properties(source, ICAL_ANY_PROPERTY)) {
    if (isWrittenFromFields(icalproperty_isa(property))) continue;
    icalcomponent_add_property(component, icalproperty_new_clone(property));
  }
  for (icalcomponent* child : children(source, ICAL_ANY_COMPONENT)) {
    icalcomponent_add_component(component, icalcomponent_new_clone(child));
  }
  if (!differing.empty()) {
    overruled_.push_back("event \"" + event.title + "\": " + differing +
                         " written from its fields, which differ from its kept text");
  }
}

Result<void> ICalSeriesFile::addSeries(const StoreEvent& event, const std::string& uid) {
  if (icalcomponent_isa(root_) != ICAL_VCALENDAR_COMPONENT) {
    return makeError(BackupSDKError::calendarsSaveCalendarFailed,
                     "not a calendar object: " + path_);
  }
  icalcomponent* component = icalcomponent_new_vevent();
  icalcomponent_add_property(component, icalproperty_new_uid(uid.c_str()));
  icalcomponent_add_component(root_, component);
  setFields(component, event, true);
  return {};
}

Result<void> ICalSeriesFile::saveOccurrence(const StoreEvent& event, const std::string& uid,
                                            Date occurrence) {
  icalcomponent* series = master(uid);
  icalcomponent* calendar = series != nullptr ? icalcomponent_get_parent(series) : nullptr;
  if (calendar == nullptr || icalcomponent_isa(calendar) != ICAL_VCALENDAR_COMPONENT) {
    return makeError(BackupSDKError::calendarsSaveCalendarFailed,
                     "no series " + uid + " to change in " + path_);
  }
  icalproperty* seriesStart = icalcomponent_get_first_property(series, ICAL_DTSTART_PROPERTY);
  const icaltimetype pattern = timeOf(seriesStart);
  icalcomponent* changed = nullptr;
  for (icalcomponent* sibling : children(calendar, ICAL_VEVENT_COMPONENT)) {
    const char* siblingUid = icalcomponent_get_uid(sibling);
    const icaltimetype original =
        timeOf(icalcomponent_get_first_property(sibling, ICAL_RECURRENCEID_PROPERTY));
    if (siblingUid != nullptr && uid == siblingUid && !icaltime_is_null_time(original) &&
        secondsOf(ical::instantOf(original)) == secondsOf(occurrence)) {
      changed = sibling;
    }
  }
  if (changed == nullptr) {
    changed = icalcomponent_new_vevent();
    icalcomponent_add_property(changed, icalproperty_new_uid(uid.c_str()));
    icalproperty* recurrenceId = icalproperty_new_recurrenceid(ical::timeLike(occurrence, pattern));
    if (!pattern.is_date && !icaltime_is_utc(pattern)) {
      attachZone(recurrenceId, calendar, const_cast<icaltimezone*>(pattern.zone));
    }
    icalcomponent_add_property(changed, recurrenceId);
    icalcomponent_add_component(calendar, changed);
  }
  setFields(changed, event, false);
  return {};
}

Result<void> ICalSeriesFile::saveSeries(const StoreEvent& event, const std::string& uid) {
  icalcomponent* series = master(uid);
  if (series == nullptr || icalcomponent_get_parent(series) == nullptr) {
    return makeError(BackupSDKError::calendarsSaveCalendarFailed,
                     "no series " + uid + " to change in " + path_);
  }
  setFields(series, event, true);
  return {};
}

Result<void> ICalSeriesFile::endSeriesBefore(const std::string& uid, Date occurrence) {
  icalcomponent* series = master(uid);
  icalproperty* rule =
      series != nullptr ? icalcomponent_get_first_property(series, ICAL_RRULE_PROPERTY) : nullptr;
  if (rule == nullptr) {
    return makeError(BackupSDKError::calendarsSaveCalendarFailed, "no repeating series " + uid);
  }
  const icaltimetype start =
      timeOf(icalcomponent_get_first_property(series, ICAL_DTSTART_PROPERTY));
  icalrecurrencetype recurrence = icalproperty_get_rrule(rule);
  recurrence.count = 0;
  recurrence.until = start.is_date ? ical::localDate(occurrence - std::chrono::hours(24))
                                   : ical::timeIn(occurrence - std::chrono::seconds(1),
                                                  icaltimezone_get_utc_timezone());
  icalproperty_set_rrule(rule, recurrence);
  stamp(series, true);
  return {};
}

bool ICalSeriesFile::repeats(const std::string& uid) const {
  icalcomponent* series = master(uid);
  return series != nullptr &&
         icalcomponent_get_first_property(series, ICAL_RRULE_PROPERTY) != nullptr;
}

std::optional<Date> ICalSeriesFile::seriesStart(const std::string& uid) const {
  icalcomponent* series = master(uid);
  if (series == nullptr) return std::nullopt;
  const icaltimetype start =
      timeOf(icalcomponent_get_first_property(series, ICAL_DTSTART_PROPERTY));
  if (icaltime_is_null_time(start)) return std::nullopt;
  return ical::instantOf(start);
}

std::string ICalSeriesFile::text() const {
  char* serialized = icalcomponent_as_ical_string_r(root_);
  if (serialized == nullptr) return {};
  std::string result(serialized);
  icalmemory_free_buffer(serialized);
  return result;
}

}  // namespace tessellon
