#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "tessellon/Backup.h"

#include "futures/Result.h"

namespace tessellon {

// Writes and reads "backup.json", the record of one device's backup. Holds no
// state; safe to call from any thread.
class BackupSerializerProtocol {
 public:
  static constexpr std::string_view kProtocolName = "BackupSerializerProtocol";

  BackupSerializerProtocol() = default;
  BackupSerializerProtocol(const BackupSerializerProtocol&) = delete;
  BackupSerializerProtocol& operator=(const BackupSerializerProtocol&) = delete;
  virtual ~BackupSerializerProtocol() = default;

  // The document's compact text. The category summaries carry "count" and
  // "bytes" only; hashVersion, mediaVersions and the task lists are never
  // written. Fails with BackupSDKError jsonSerializationFailed when version,
  // startDate or deviceType is absent.
  virtual Result<std::string> serialize(const Backup& backup) = 0;

  // The record the document holds; what the document leaves out keeps the
  // value a new record has, a missing "deviceID" gives this device's
  // identifier. Fails with
  //  - JsonError invalidJsonString: the text is not a JSON object;
  //  - BackupSDKError jsonDeserializationFailed: no readable "startDate";
  //  - JsonError serializationFailed: "version" missing or not "<n>.<n>",
  //    "osFamily" or "deviceType" not one of their raw values;
  //  - the summary reader's error for a malformed category summary.
  virtual Result<std::shared_ptr<Backup>> deserialize(const std::string& text) = 0;
};

}  // namespace tessellon
