#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/Date.h"
#include "tessellon/DeviceStatistics.h"
#include "tessellon/SkippedItem.h"
#include "tessellon/Version.h"

#include "model/ItemsMetaData.h"
#include "model/MediaMetaData.h"
#include "model/Serializable.h"

namespace tessellon {

struct Contact;
struct CalendarEntry;
struct BackupRunState;

// The fingerprint schemes present in a backup's media and the item counts they
// were computed for.
struct MediaVersions {
  int images = 0;
  int videos = 0;
  std::vector<Version> versions;

  friend bool operator==(const MediaVersions&, const MediaVersions&) = default;
};

// One backup of one device: the record stored as "backup.json", with the documents of the
// categories read. A preview makes one with `taskListToProcess` holding the work of the run. A
// host sees it through `Backup` (see HostBackup.h).
struct BackupRecord : Serializable {
  std::string deviceID;
  std::shared_ptr<Version> version;
  std::shared_ptr<Version> hashVersion;
  std::optional<int> backupModelVersion;
  std::optional<DeviceFamily> osFamily;
  std::optional<DeviceType> deviceType;
  std::optional<std::string> deviceName;
  std::optional<std::string> name;
  std::shared_ptr<ItemsMetaData<Contact>> contactsMetaData;
  std::shared_ptr<ItemsMetaData<CalendarEntry>> calendarsMetaData;
  std::shared_ptr<MediaMetaData> videosMetaData;
  std::shared_ptr<MediaMetaData> imagesMetaData;
  std::optional<Date> startDate;
  std::optional<Date> modificationDate;
  std::optional<Date> finishDate;
  MediaVersions mediaVersions;
  std::shared_ptr<BackupRecord> taskListToProcess;
  std::shared_ptr<BackupRecord> taskList;
  // Not stored. What the scan of this computer's media found but could not take, for the
  // preview to show and the run to report.
  std::vector<SkippedItem> skippedItems;
  // Not stored. The state of a previewed run, which the record carries from the preview, through
  // the host, to the run.
  std::shared_ptr<BackupRunState> runState;

  // A record of the current format (version 1.2, fingerprint scheme 1.1, model
  // 1) made by this computer: family macos, type pc, the computer's name with
  // every "/" replaced by "_". No dates, no metadata.
  explicit BackupRecord(std::string id);

  // "name=... version=... osFamily=... deviceName=... deviceType=... deviceID=...
  // startDate=... modificationDate=... finishDate=...", absent values as "nil";
  // for log lines.
  std::string description() const;

  // Of a preview: the record as the remote held it when the preview read it, with the stored
  // documents of the categories it loaded; null before the first backup or for other records.
  std::shared_ptr<const BackupRecord> storedRecord() const;

  // A new record with the same values; the four metadata objects are copies of
  // their own (sharing the items), the task lists and the run state are shared.
  std::shared_ptr<BackupRecord> copy() const;
};

}  // namespace tessellon
