#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "futures/Result.h"
#include "model/BackupRecord.h"

namespace tessellon {

// Writes and reads "backup.json", the record of one device's backup, over the JSON library.
// Stateless apart from the source of this device's identifier, which is only asked when a
// document has none; safe to call from any thread.
class BackupSerializer final {
 public:
  static constexpr std::string_view kProtocolName = "BackupSerializer";
  // `currentDeviceID` answers this device's identifier; may be empty, then a
  // document without "deviceID" reads with an empty one.
  explicit BackupSerializer(std::function<std::string()> currentDeviceID);

  // The document's compact text. The category summaries carry "count" and
  // "bytes" only; hashVersion, mediaVersions and the task lists are never
  // written. Fails with BackupSDKError jsonSerializationFailed when version,
  // startDate or deviceType is absent.
  Result<std::string> serialize(const BackupRecord& backup);
  // The record the document holds; what the document leaves out keeps the
  // value a new record has, a missing "deviceID" gives this device's
  // identifier. Fails with
  //  - JsonError invalidJsonString: the text is not a JSON object;
  //  - BackupSDKError jsonDeserializationFailed: no readable "startDate";
  //  - JsonError serializationFailed: "version" missing or not "<n>.<n>",
  //    "osFamily" or "deviceType" not one of their raw values;
  //  - the summary reader's error for a malformed category summary.
  Result<std::shared_ptr<BackupRecord>> deserialize(const std::string& text);

 private:
  const std::function<std::string()> currentDeviceID_;
};

}  // namespace tessellon
