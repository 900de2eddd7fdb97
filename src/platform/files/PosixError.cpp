#include "platform/files/PosixError.h"

#include <cerrno>
#include <system_error>

namespace tessellon {

Error posixError(const std::string& context, int errnoValue) {
  // system_category().message is thread-safe, unlike strerror.
  return Error{std::string(kPosixErrorDomain), errnoValue,
               context + ": " + std::system_category().message(errnoValue)};
}

bool isDiskFullError(const Error& error) {
  return error.domain == kPosixErrorDomain && (error.code == ENOSPC || error.code == EDQUOT);
}

}  // namespace tessellon
