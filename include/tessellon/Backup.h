#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/Date.h"
#include "tessellon/Version.h"

namespace tessellon {

enum class DeviceFamily { ios, android, macos, windows };
enum class DeviceType { na, phone, tablet, pc };

// The fingerprint schemes present in a backup's media and the item counts they
// were computed for.
struct MediaVersions {
  int images = 0;
  int videos = 0;
  std::vector<Version> versions;
};

// One backup of one device: the record stored as "backup.json". A preview
// returns one with `taskListToProcess` holding the work of the run.
struct Backup {
  std::string deviceID;
  std::shared_ptr<Version> version;
  std::shared_ptr<Version> hashVersion;
  std::optional<int> backupModelVersion;
  std::optional<DeviceFamily> osFamily;
  std::optional<DeviceType> deviceType;
  std::optional<std::string> deviceName;
  std::optional<std::string> name;
  std::optional<Date> startDate;
  std::optional<Date> modificationDate;
  std::optional<Date> finishDate;
  MediaVersions mediaVersions;
  std::shared_ptr<Backup> taskListToProcess;
  std::shared_ptr<Backup> taskList;

  explicit Backup(std::string id);
};

}  // namespace tessellon
