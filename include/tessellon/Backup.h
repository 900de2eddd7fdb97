#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/Date.h"
#include "tessellon/DeviceStatistics.h"
#include "tessellon/SkippedItem.h"
#include "tessellon/Version.h"

namespace tessellon {

// The library's own record behind a `Backup`: its stored documents and the state of a previewed
// run. Opaque to a host.
struct BackupRecord;

// How many items a category holds and their size: the files' bytes for images and videos, the
// length of the items' JSON text for contacts and calendars.
struct CategorySummary {
  int count = 0;
  int64_t bytes = 0;

  friend bool operator==(const CategorySummary&, const CategorySummary&) = default;
};

// One category of a backup: what the record holds and, of a preview, what its run will do.
struct BackupCategory {
  // Absent when the record leaves the category out.
  std::optional<CategorySummary> held;
  // Of a preview: what the run sends.
  std::optional<CategorySummary> toSend;
  // Of a preview: what the remote's record held when the preview read it. Absent before the
  // first backup, and for a category the preview did not read (one it neither backs up nor keeps).
  std::optional<CategorySummary> stored;
  // Of a preview: the stored items the run's record no longer holds, which a pruning run deletes
  // from the remote. Absent unless the preview read the items of both.
  std::optional<CategorySummary> removed;

  friend bool operator==(const BackupCategory&, const BackupCategory&) = default;
};

// One backup of one device as a host sees it: a preview's plan, or a stored backup as the
// listing gives it. A host hands it back to the library as it got it, to run, restore or verify.
struct Backup {
  std::string deviceID;
  // The format version of the stored record.
  std::optional<Version> version;
  std::optional<DeviceFamily> osFamily;
  std::optional<DeviceType> deviceType;
  std::optional<std::string> deviceName;
  std::optional<std::string> name;
  std::optional<Date> startDate;
  std::optional<Date> modificationDate;
  std::optional<Date> finishDate;
  BackupCategory contacts;
  BackupCategory calendars;
  BackupCategory images;
  BackupCategory videos;
  // Of a preview: what the scan of this computer's media found but could not take.
  std::vector<SkippedItem> skippedItems;
  // The library's record this was made from; null in a `Backup` a host made itself, which the
  // library refuses to run, restore or verify.
  std::shared_ptr<BackupRecord> record;
};

// The device name that a backup made on this computer records: the computer's name with every "/"
// replaced by "_"; nothing when the system does not tell it.
std::optional<std::string> thisDeviceName();

}  // namespace tessellon
