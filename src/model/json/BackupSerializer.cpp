#include "model/json/BackupSerializer.h"

#include <algorithm>
#include <limits>

#include "tessellon/BackupSDKError.h"

#include "model/json/ItemsMetaDataJson.h"
#include "model/json/Json.h"
#include "model/json/JsonError.h"
#include "model/json/JsonReaders.h"
#include "model/json/JsonText.h"
#include "model/json/MediaMetaDataJson.h"
#include "platform/text/DateText.h"

namespace tessellon {
namespace {

// Applies a category summary when the key holds one; null counts as absent.
template <class MetaData, class Reader>
std::optional<Error> readSummary(const Json& object, const char* key,
                                 std::shared_ptr<MetaData>& field, Reader reader) {
  const Json* value = member(object, key);
  if (value == nullptr || value->is_null()) return std::nullopt;
  auto summary = reader(*value);
  if (!summary.ok()) return summary.error();
  field = std::move(summary).value();
  return std::nullopt;
}

template <class Case>
std::optional<Error> readRawValue(const Json& object, const char* key, std::optional<Case>& field,
                                  std::optional<Case> (*fromRawValue)(std::string_view)) {
  const std::optional<std::string> raw = readString(member(object, key));
  if (!raw) return std::nullopt;
  const std::optional<Case> value = fromRawValue(*raw);
  if (!value) return makeError(JsonError::serializationFailed, std::string(key) + " " + *raw);
  field = value;
  return std::nullopt;
}

std::optional<Error> readSummaries(const Json& object, BackupRecord& backup) {
  if (auto error = readSummary(object, "contactsMetaData", backup.contactsMetaData,
                               &ItemsMetaDataJson<Contact>::deserializeSummary)) {
    return error;
  }
  if (auto error = readSummary(object, "calendarsMetaData", backup.calendarsMetaData,
                               &ItemsMetaDataJson<CalendarEntry>::deserializeSummary)) {
    return error;
  }
  if (auto error = readSummary(object, "imagesMetaData", backup.imagesMetaData,
                               &MediaMetaDataJson::deserialize)) {
    return error;
  }
  return readSummary(object, "videosMetaData", backup.videosMetaData,
                     &MediaMetaDataJson::deserialize);
}

}  // namespace

BackupSerializer::BackupSerializer(std::function<std::string()> currentDeviceID)
    : currentDeviceID_(std::move(currentDeviceID)) {}

Result<std::string> BackupSerializer::serialize(const BackupRecord& backup) {
  if (!backup.version || !backup.startDate || !backup.deviceType) {
    return makeError(BackupSDKError::jsonSerializationFailed,
                     "backup.json needs version, startDate and deviceType");
  }
  Json object = Json::object();
  object["version"] = backup.version->description();
  setOptional(object, "backupModelVersion", backup.backupModelVersion);
  object["deviceID"] = backup.deviceID;
  object["startDate"] = toString(*backup.startDate);
  if (backup.modificationDate) object["modificationDate"] = toString(*backup.modificationDate);
  if (backup.finishDate) object["finishDate"] = toString(*backup.finishDate);
  setOptional(object, "name", backup.name);
  // The items live in the category documents; the record keeps the counters.
  if (backup.contactsMetaData) {
    object["contactsMetaData"] =
        ItemsMetaDataJson<Contact>::serializeSummary(*backup.contactsMetaData);
  }
  if (backup.calendarsMetaData) {
    object["calendarsMetaData"] =
        ItemsMetaDataJson<CalendarEntry>::serializeSummary(*backup.calendarsMetaData);
  }
  if (backup.imagesMetaData) {
    object["imagesMetaData"] = MediaMetaDataJson::serializeSummary(*backup.imagesMetaData);
  }
  if (backup.videosMetaData) {
    object["videosMetaData"] = MediaMetaDataJson::serializeSummary(*backup.videosMetaData);
  }
  if (backup.osFamily) object["osFamily"] = std::string(rawValue(*backup.osFamily));
  object["deviceType"] = std::string(rawValue(*backup.deviceType));
  setOptional(object, "deviceName", backup.deviceName);

  std::optional<std::string> text = toJSONString(object);
  if (!text) return makeError(JsonError::toStringConversionFailed, "backup.json");
  return std::move(*text);
}

Result<std::shared_ptr<BackupRecord>> BackupSerializer::deserialize(const std::string& text) {
  const std::optional<Json> parsed = parseJson(text);
  if (!parsed || !parsed->is_object()) {
    return makeError(JsonError::invalidJsonString, "backup.json is not a JSON object");
  }
  const Json& object = *parsed;

  std::optional<std::string> deviceID = readString(member(object, "deviceID"));
  if (!deviceID && currentDeviceID_) deviceID = currentDeviceID_();
  auto backup = std::make_shared<BackupRecord>(deviceID.value_or(""));

  const std::optional<std::string> versionText = readString(member(object, "version"));
  const std::optional<Version> version = versionText ? Version::parse(*versionText) : std::nullopt;
  if (!version) return makeError(JsonError::serializationFailed, "version");
  backup->version = std::make_shared<Version>(*version);

  const std::optional<int64_t> modelVersion = readInteger(member(object, "backupModelVersion"));
  if (modelVersion && *modelVersion >= std::numeric_limits<int>::min() &&
      *modelVersion <= std::numeric_limits<int>::max()) {
    backup->backupModelVersion = static_cast<int>(*modelVersion);
  }

  backup->startDate = readDate(member(object, "startDate"));
  if (!backup->startDate) {
    return makeError(BackupSDKError::jsonDeserializationFailed, "backup.json has no startDate");
  }
  if (auto date = readDate(member(object, "modificationDate"))) backup->modificationDate = date;
  if (auto date = readDate(member(object, "finishDate"))) backup->finishDate = date;
  if (auto name = readString(member(object, "name"))) backup->name = std::move(name);

  if (auto failure = readSummaries(object, *backup)) return *failure;
  if (auto failure =
          readRawValue(object, "osFamily", backup->osFamily, &deviceFamilyFromRawValue)) {
    return *failure;
  }
  if (auto failure =
          readRawValue(object, "deviceType", backup->deviceType, &deviceTypeFromRawValue)) {
    return *failure;
  }
  if (auto deviceName = readString(member(object, "deviceName"))) {
    std::replace(deviceName->begin(), deviceName->end(), '/', '_');
    backup->deviceName = std::move(deviceName);
  }
  return backup;
}

}  // namespace tessellon
