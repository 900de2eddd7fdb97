#pragma once

#include <memory>

#include "restore/RestoreServiceProtocol.h"

namespace tessellon {

// What the facade needs for listings and restores, nothing more.
class RestoreService final : public RestoreServiceProtocol {
 public:
  RestoreService(std::shared_ptr<BackupInformationCollectorProtocol> backupInformationCollector,
                 std::shared_ptr<RestoreHelperProtocol> restoreHelper)
      : backupInformationCollector_(std::move(backupInformationCollector)),
        restoreHelper_(std::move(restoreHelper)) {}

  std::shared_ptr<BackupInformationCollectorProtocol> backupInformationCollector() const override {
    return backupInformationCollector_;
  }
  std::shared_ptr<RestoreHelperProtocol> restoreHelper() const override { return restoreHelper_; }

 private:
  std::shared_ptr<BackupInformationCollectorProtocol> backupInformationCollector_;
  std::shared_ptr<RestoreHelperProtocol> restoreHelper_;
};

}  // namespace tessellon
