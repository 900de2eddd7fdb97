#pragma once

#include <memory>
#include <string_view>

#include "tessellon/Settings.h"

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "platform/access/AccessRequestProtocol.h"

namespace tessellon {

// Checks, before an operation starts, that every selected category may be read
// and written: contact store, calendar store, photo library, picture and movie
// folders.
class AccessServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "AccessServiceProtocol";
  AccessServiceProtocol() = default;
  virtual ~AccessServiceProtocol() = default;
  AccessServiceProtocol(const AccessServiceProtocol&) = delete;
  AccessServiceProtocol& operator=(const AccessServiceProtocol&) = delete;

  // Succeeds when every selected category is accessible; fails with the code
  // of the first denied one (201, 801, 301, 303). Honours the token.
  virtual Future<Void> checkAccess(const Settings& settings, AccessPurpose purpose,
                                   std::shared_ptr<CancelToken> cancelToken) = 0;
};

}  // namespace tessellon
