#include "core/HostError.h"

#include <array>
#include <string_view>

#include "tessellon/BackupSDKError.h"

namespace tessellon {

Error asNSError(const Error& error) {
  static constexpr std::array<std::string_view, 4> kOtherOwnDomains = {
      "JsonError", "SerializationError", "IoCError", "FuturesError"};
  if (error.domain == kBackupSDKErrorDomain) return error;
  for (std::string_view domain : kOtherOwnDomains) {
    if (error.domain == domain) {
      return Error{std::string(kBackupSDKErrorDomain), 0, error.domain + ": " + error.message};
    }
  }
  return error;
}

std::string nsErrorDescription(const Error& error) { return describe(asNSError(error)); }

std::string failureReason(const Error& error) {
  return error.message.empty() ? nsErrorDescription(error) : error.message;
}

}  // namespace tessellon
