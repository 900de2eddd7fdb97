#include "platform/calendar/ICalEventStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>

#include "tessellon/BackupSDKError.h"

#include "core/Log.h"
#include "platform/calendar/ICalEventSource.h"
#include "platform/files/PosixError.h"
#include "platform/text/AsciiText.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDisplayNameFile = "displayname";
constexpr size_t kMaxTitleBytes = 4096;

std::string randomId() {
  std::random_device device;
  std::uniform_int_distribution<int> nibble(0, 15);
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string id;
  for (int i = 0; i < 32; ++i) {
    if (i == 8 || i == 12 || i == 16 || i == 20) id.push_back('-');
    id.push_back(kHex[nibble(device)]);
  }
  return id;
}

// A name written atomically: a hidden temporary file in the same folder, then
// renamed over `path` (`replace`) or linked to it only if nothing is there.
// Fails with EEXIST when `replace` is false and `path` exists.
Result<void> writeAtomically(const std::string& path, const std::string& text, bool replace) {
  const fs::path target(path);
  std::string hiddenName = ".";
  hiddenName.append(target.filename().string()).append(".").append(randomId()).append(".tmp");
  const std::string temporary = (target.parent_path() / hiddenName).string();
  const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (descriptor < 0) return posixError("open " + temporary, errno);
  size_t written = 0;
  int failure = 0;
  while (written < text.size()) {
    const ssize_t count = ::write(descriptor, text.data() + written, text.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      failure = count < 0 ? errno : EIO;
      break;
    }
    written += static_cast<size_t>(count);
  }
  if (failure == 0 && ::fsync(descriptor) != 0) failure = errno;
  if (::close(descriptor) != 0 && failure == 0) failure = errno;
  if (failure == 0) {
    if (replace) {
      if (::rename(temporary.c_str(), path.c_str()) != 0) failure = errno;
    } else if (::link(temporary.c_str(), path.c_str()) != 0) {
      failure = errno;
    }
  }
  if (failure != 0 || !replace) ::unlink(temporary.c_str());
  if (failure != 0) return posixError("write " + path, failure);
  return {};
}

bool isCalendarFile(const fs::directory_entry& entry) {
  std::error_code error;
  return lowered(entry.path().extension().string()) == ".ics" &&
         entry.path().filename().string().front() != '.' && entry.is_regular_file(error);
}

std::string readTitle(const fs::path& folder) {
  std::ifstream file(folder / kDisplayNameFile, std::ios::binary);
  std::string title;
  if (!file || !std::getline(file, title)) return folder.filename().string();
  if (title.size() > kMaxTitleBytes) title.resize(kMaxTitleBytes);
  while (!title.empty() && (title.back() == '\r' || title.back() == '\n')) title.pop_back();
  return title;
}

}  // namespace

ICalEventStore::ICalEventStore(std::string root, std::shared_ptr<LoggerProtocol> logger)
    : root_(std::move(root)), logger_(std::move(logger)) {
  // libical reports bad input through its error state; it must never abort.
  static std::once_flag configured;
  std::call_once(configured, [] { icalerror_set_errors_are_fatal(0); });
}

void ICalEventStore::warn(std::string message) const {
  logWith(logger_, LogLevel::warning, [message = std::move(message)] { return message; });
}

void ICalEventStore::warnOverruled(ICalSeriesFile& file) const {
  for (std::string& line : file.takeOverruled()) warn("Restoring " + file.path() + ": " + line);
}

std::string ICalEventStore::calendarPath(const std::string& identifier) const {
  return (fs::path(root_) / identifier).string();
}

Result<void> ICalEventStore::requestAccess() {
  std::error_code error;
  if (!fs::is_directory(root_, error)) {
    return makeError(BackupSDKError::calendarsAccessDenied, "no calendar folder at " + root_);
  }
  if (::access(root_.c_str(), R_OK | W_OK | X_OK) != 0) {
    return makeError(BackupSDKError::calendarsAccessDenied, posixError(root_, errno).message);
  }
  return {};
}

std::vector<std::shared_ptr<StoreCalendar>> ICalEventStore::calendars() {
  std::vector<fs::path> folders;
  std::error_code error;
  for (fs::directory_iterator it(root_, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (!name.empty() && name.front() != '.' && it->is_directory(error))
      folders.push_back(it->path());
  }
  std::sort(folders.begin(), folders.end());
  std::vector<std::shared_ptr<StoreCalendar>> result;
  for (const fs::path& folder : folders) {
    const std::string identifier = folder.filename().string();
    std::shared_ptr<StoreCalendar>& calendar = calendars_[identifier];
    if (!calendar) {
      calendar = std::make_shared<StoreCalendar>();
      calendar->calendarIdentifier = identifier;
      calendar->source = sources().front();
    }
    calendar->title = readTitle(folder);
    calendar->immutable = ::access(folder.c_str(), W_OK | X_OK) != 0;
    result.push_back(calendar);
  }
  return result;
}

std::vector<StoreSource> ICalEventStore::sources() {
  return {StoreSource{"local", StoreSourceType::local}};
}

std::shared_ptr<StoreCalendar> ICalEventStore::newCalendar() {
  auto calendar = std::make_shared<StoreCalendar>();
  calendar->source = sources().front();
  return calendar;
}

Result<void> ICalEventStore::saveCalendar(const std::shared_ptr<StoreCalendar>& calendar, bool) {
  if (!calendar) return makeError(BackupSDKError::calendarsSaveCalendarFailed, "no calendar");
  if (calendar->calendarIdentifier.empty()) {
    // A fresh name each try: another program may create folders meanwhile.
    for (int attempt = 0; attempt < 5 && calendar->calendarIdentifier.empty(); ++attempt) {
      const std::string identifier = randomId();
      if (::mkdir(calendarPath(identifier).c_str(), 0755) == 0) {
        calendar->calendarIdentifier = identifier;
      } else if (errno != EEXIST) {
        return makeError(BackupSDKError::calendarsSaveCalendarFailed,
                         posixError("mkdir " + calendarPath(identifier), errno).message);
      }
    }
    if (calendar->calendarIdentifier.empty()) {
      return makeError(BackupSDKError::calendarsSaveCalendarFailed, "no free calendar name");
    }
  }
  const std::string folder = calendarPath(calendar->calendarIdentifier);
  Result<void> written =
      writeAtomically((fs::path(folder) / kDisplayNameFile).string(), calendar->title + "\n", true);
  if (!written.ok()) {
    return makeError(BackupSDKError::calendarsSaveCalendarFailed, written.error().message);
  }
  calendars_[calendar->calendarIdentifier] = calendar;
  return {};
}

std::shared_ptr<StoreEvent> ICalEventStore::newEvent() { return std::make_shared<StoreEvent>(); }

ICalEventStore::Folder& ICalEventStore::folder(const std::string& identifier) {
  const auto known = folders_.find(identifier);
  if (known != folders_.end()) return known->second;
  Folder& loaded = folders_[identifier];
  std::vector<fs::path> paths;
  std::error_code error;
  for (fs::directory_iterator it(calendarPath(identifier), error), end; !error && it != end;
       it.increment(error)) {
    if (isCalendarFile(*it)) paths.push_back(it->path());
  }
  std::sort(paths.begin(), paths.end());
  for (const fs::path& path : paths) {
    Result<std::unique_ptr<ICalSeriesFile>> file = ICalSeriesFile::read(path.string());
    if (!file.ok()) {
      warn("Skipping calendar file " + path.string() + ": " + file.error().message);
      skipped_.push_back({SkippedItem::Category::calendars, path.string(), file.error().message});
      continue;
    }
    ICalSeriesFile* series = file.value().get();
    loaded.files.push_back(std::move(file).value());
    for (const std::string& uid : series->uids()) loaded.byUid.emplace(uid, series);
  }
  return loaded;
}

std::vector<std::shared_ptr<StoreEvent>> ICalEventStore::events(
    Date start, Date end, const std::vector<std::shared_ptr<StoreCalendar>>& chosen) {
  // An empty window asks for what is on at `start`: the occurrence that begins there, even
  // when it lasts no time at all.
  if (end <= start) end = start + Date::duration(1);
  const std::vector<std::shared_ptr<StoreCalendar>> searched =
      chosen.empty() ? calendars() : chosen;
  std::vector<std::shared_ptr<StoreEvent>> found;
  for (const std::shared_ptr<StoreCalendar>& calendar : searched) {
    if (!calendar || calendar->calendarIdentifier.empty()) continue;
    for (const std::unique_ptr<ICalSeriesFile>& file : folder(calendar->calendarIdentifier).files) {
      std::vector<std::string> problems;
      file->appendOccurrences(start, end, calendar, found, problems);
      for (const std::string& problem : problems) {
        warn("Skipping an event in calendar file " + file->path() + ": " + problem);
        skipped_.push_back({SkippedItem::Category::calendars, file->path(), problem});
      }
    }
  }
  return found;
}

Result<void> ICalEventStore::addSeries(Folder& target, const std::string& identifier,
                                       StoreEvent& event) {
  // A kept event keeps its UID unless the calendar has a series of that UID already.
  std::string uid = event.source ? ICalEventSource::uidOf(*event.source) : std::string();
  if (uid.empty() || target.byUid.count(uid) != 0) uid = randomId();
  std::unique_ptr<ICalSeriesFile> file = ICalSeriesFile::create(
      (fs::path(calendarPath(identifier)) / (fileBase(uid, "event") + ".ics")).string());
  Result<void> added = file->addSeries(event, uid);
  warnOverruled(*file);
  if (!added.ok()) return added;
  event.eventIdentifier = uid;
  event.isDetached = false;
  event.occurrenceDate = event.startDate;
  pending_.push_back(file.get());
  target.byUid.emplace(uid, file.get());
  target.files.push_back(std::move(file));
  return {};
}

Result<void> ICalEventStore::saveEvent(const std::shared_ptr<StoreEvent>& event,
                                       StoreEventSpan span, bool commitNow) {
  if (!event || !event->calendar || event->calendar->calendarIdentifier.empty()) {
    return makeError(BackupSDKError::calendarsSaveCalendarFailed, "event without a saved calendar");
  }
  const std::string& identifier = event->calendar->calendarIdentifier;
  if (::access(calendarPath(identifier).c_str(), W_OK | X_OK) != 0) {
    return makeError(BackupSDKError::calendarsSaveCalendarFailed,
                     posixError(calendarPath(identifier), errno).message);
  }
  Folder& target = folder(identifier);
  Result<void> saved;
  if (event->eventIdentifier.empty()) {
    saved = addSeries(target, identifier, *event);
  } else {
    const auto found = target.byUid.find(event->eventIdentifier);
    if (found == target.byUid.end()) {
      return makeError(BackupSDKError::calendarsSaveCalendarFailed,
                       "no event " + event->eventIdentifier + " in calendar " + identifier);
    }
    ICalSeriesFile& file = *found->second;
    const std::string uid = event->eventIdentifier;
    const bool repeats = file.repeats(uid);
    const Date occurrence = event->occurrenceDate.value_or(event->startDate);
    if (event->isDetached || (repeats && span == StoreEventSpan::thisEvent)) {
      saved = file.saveOccurrence(*event, uid, occurrence);
      if (saved.ok()) event->isDetached = true;
    } else if (repeats && file.seriesStart(uid) != occurrence) {
      // From a later occurrence on, the series splits: the old one ends before it. The kept
      // text describes the whole series, so the part split off is the event's fields alone.
      event->source.reset();
      saved = file.endSeriesBefore(uid, occurrence);
      if (saved.ok()) saved = addSeries(target, identifier, *event);
    } else {
      saved = file.saveSeries(*event, uid);
    }
    warnOverruled(file);
    if (saved.ok() && std::find(pending_.begin(), pending_.end(), &file) == pending_.end()) {
      pending_.push_back(&file);
    }
  }
  if (!saved.ok() || !commitNow) return saved;
  return commit();
}

Result<void> ICalEventStore::commit() {
  while (!pending_.empty()) {
    ICalSeriesFile& file = *pending_.front();
    const std::string text = file.text();
    Result<void> written;
    if (file.existedOnDisk()) {
      if (ICalSeriesFile::stampOf(file.path()) != file.diskStamp()) {
        return makeError(BackupSDKError::calendarsSaveCalendarFailed,
                         "calendar file changed on disk since it was read: " + file.path());
      }
      written = writeAtomically(file.path(), text, true);
    } else {
      // Never over a file that appeared under the same name: pick another name.
      const fs::path original(file.path());
      for (int attempt = 0; attempt < 100; ++attempt) {
        if (attempt > 0) {
          file.setPath((original.parent_path() /
                        (original.stem().string() + "-" + std::to_string(attempt) + ".ics"))
                           .string());
        }
        written = writeAtomically(file.path(), text, false);
        if (written.ok() || written.error().code != EEXIST) break;
      }
    }
    if (!written.ok()) return written;
    file.markWritten();
    pending_.erase(pending_.begin());
  }
  return {};
}

std::shared_ptr<EventStoreProtocol> openEventStore(const std::string& root,
                                                   std::shared_ptr<LoggerProtocol> logger) {
  return std::make_shared<ICalEventStore>(root, std::move(logger));
}

}  // namespace tessellon
