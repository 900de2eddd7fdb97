#pragma once

#include <memory>
#include <string_view>

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "model/BackupRecord.h"

namespace tessellon {

// Removes from the device's remote folder what a finished backup no longer
// references.
class CleanupServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "CleanupServiceProtocol";
  CleanupServiceProtocol() = default;
  virtual ~CleanupServiceProtocol() = default;
  CleanupServiceProtocol(const CleanupServiceProtocol&) = delete;
  CleanupServiceProtocol& operator=(const CleanupServiceProtocol&) = delete;

  // One remote operation at a time; a failed step does not stop the next, a
  // cancelled one ends the chain cancelled.
  virtual Future<Void> cleanup(const BackupRecord& backup,
                               std::shared_ptr<CancelToken> cancelToken) = 0;
};

}  // namespace tessellon
