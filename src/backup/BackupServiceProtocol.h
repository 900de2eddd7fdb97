#pragma once

#include <memory>
#include <string_view>

#include "tessellon/ProcessReport.h"

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "model/BackupRecord.h"

namespace tessellon {

// Runs a backup record's task list against the remote.
class BackupServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "BackupServiceProtocol";
  BackupServiceProtocol() = default;
  virtual ~BackupServiceProtocol() = default;
  BackupServiceProtocol(const BackupServiceProtocol&) = delete;
  BackupServiceProtocol& operator=(const BackupServiceProtocol&) = delete;

  // Completes with the report of the run; items that fail are counted in it.
  // Fails with 319 (remote full) or 602 (local disk full); cancelled when the
  // token is.
  virtual Future<std::shared_ptr<ProcessReport>> process(
      std::shared_ptr<BackupRecord> backup, std::shared_ptr<CancelToken> cancelToken) = 0;
};

}  // namespace tessellon
