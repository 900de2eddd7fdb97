#include "model/BackupRecord.h"

#include <algorithm>

#include "model/BackupRunState.h"
#include "model/Constants.h"
#include "model/FingerprintUtils.h"
#include "platform/identity/ComputerName.h"
#include "platform/text/DateText.h"

namespace tessellon {
namespace {

template <class T, class Render>
std::string orNil(const std::optional<T>& value, Render render) {
  return value ? render(*value) : "nil";
}

std::string dateOrNil(const std::optional<Date>& date) {
  return orNil(date, [](Date value) { return toString(value); });
}

// Adds the schemes of `metaData`'s fingerprints when its item count changed
// since they were last collected.
void collectVersions(const std::shared_ptr<MediaMetaData>& metaData, int& collectedCount,
                     std::vector<Version>& versions) {
  const int itemCount = metaData && metaData->items ? static_cast<int>(metaData->items->size()) : 0;
  if (itemCount == collectedCount) return;
  collectedCount = itemCount;
  if (itemCount == 0) return;
  for (const auto& item : *metaData->items) {
    if (!item->fingerprint) continue;
    const Version version = FingerprintUtils::getVersion(*item->fingerprint);
    if (std::find(versions.begin(), versions.end(), version) == versions.end()) {
      versions.push_back(version);
    }
  }
}

}  // namespace

// A new record names the computer it is made on. Reading that name is an OS
// call, so the platform layer answers it through a plain function rather than a
// service: records are built everywhere, long before any container exists.
std::optional<std::string> thisDeviceName() {
  std::optional<std::string> name = computerName();
  if (name) std::replace(name->begin(), name->end(), '/', '_');
  return name;
}

BackupRecord::BackupRecord(std::string id)
    : deviceID(std::move(id)),
      version(std::make_shared<Version>(Constants::backupVersion())),
      hashVersion(std::make_shared<Version>(Constants::hashVersion())),
      backupModelVersion(1),
      osFamily(DeviceFamily::macos),
      deviceType(DeviceType::pc),
      deviceName(thisDeviceName()),
      mediaVersions{0, 0, {Constants::hashVersion()}} {}

std::string BackupRecord::description() const {
  const auto text = [](const std::string& value) { return value; };
  const auto raw = [](auto value) { return std::string(rawValue(value)); };
  return "name=" + orNil(name, text) +
         " version=" + (version ? version->description() : std::string("nil")) +
         " osFamily=" + orNil(osFamily, raw) + " deviceName=" + orNil(deviceName, text) +
         " deviceType=" + orNil(deviceType, raw) + " deviceID=" + deviceID +
         " startDate=" + dateOrNil(startDate) + " modificationDate=" + dateOrNil(modificationDate) +
         " finishDate=" + dateOrNil(finishDate);
}

MediaVersions CreateUpdatedMediaVersions(BackupRecord& backup) {
  MediaVersions& versions = backup.mediaVersions;
  collectVersions(backup.imagesMetaData, versions.images, versions.versions);
  collectVersions(backup.videosMetaData, versions.videos, versions.versions);
  return versions;
}

std::shared_ptr<const BackupRecord> BackupRecord::storedRecord() const {
  return BackupRunState::of(*this).storedRecord;
}

std::shared_ptr<BackupRecord> BackupRecord::copy() const {
  auto copied = std::make_shared<BackupRecord>(*this);
  if (contactsMetaData) copied->contactsMetaData = contactsMetaData->copy();
  if (calendarsMetaData) copied->calendarsMetaData = calendarsMetaData->copy();
  if (videosMetaData) copied->videosMetaData = videosMetaData->copy();
  if (imagesMetaData) copied->imagesMetaData = imagesMetaData->copy();
  return copied;
}

}  // namespace tessellon
