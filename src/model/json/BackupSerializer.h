#pragma once

#include <functional>
#include <memory>
#include <string>

#include "model/json/BackupSerializerProtocol.h"

namespace tessellon {

// "backup.json" over the JSON library. Stateless apart from the source of this
// device's identifier, which is only asked when a document has none.
class BackupSerializer final : public BackupSerializerProtocol {
 public:
  // `currentDeviceID` answers this device's identifier; may be empty, then a
  // document without "deviceID" reads with an empty one.
  explicit BackupSerializer(std::function<std::string()> currentDeviceID);

  Result<std::string> serialize(const Backup& backup) override;
  Result<std::shared_ptr<Backup>> deserialize(const std::string& text) override;

 private:
  const std::function<std::string()> currentDeviceID_;
};

}  // namespace tessellon
