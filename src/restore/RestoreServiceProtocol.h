#pragma once

#include <memory>
#include <string_view>

#include "backup/BackupInformationCollectorProtocol.h"
#include "restore/RestoreHelperProtocol.h"

namespace tessellon {

// Bundles what the facade needs for restores and listings.
class RestoreServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "RestoreServiceProtocol";
  RestoreServiceProtocol() = default;
  virtual ~RestoreServiceProtocol() = default;
  RestoreServiceProtocol(const RestoreServiceProtocol&) = delete;
  RestoreServiceProtocol& operator=(const RestoreServiceProtocol&) = delete;

  virtual std::shared_ptr<BackupInformationCollectorProtocol> backupInformationCollector()
      const = 0;
  virtual std::shared_ptr<RestoreHelperProtocol> restoreHelper() const = 0;
};

}  // namespace tessellon
