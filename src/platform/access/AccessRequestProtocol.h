#pragma once

#include <memory>
#include <string_view>

#include "core/CancelToken.h"
#include "futures/Future.h"

namespace tessellon {

// What the access is checked for: a restore may find the media folders missing and create them.
enum class AccessPurpose { backup, restore };

// One permission check of the media side.
class AccessRequestProtocol {
 public:
  static constexpr std::string_view kProtocolName = "AccessRequestProtocol";
  AccessRequestProtocol() = default;
  virtual ~AccessRequestProtocol() = default;
  AccessRequestProtocol(const AccessRequestProtocol&) = delete;
  AccessRequestProtocol& operator=(const AccessRequestProtocol&) = delete;

  virtual Future<Void> checkAccess(std::shared_ptr<CancelToken> cancelToken) = 0;
};

}  // namespace tessellon
