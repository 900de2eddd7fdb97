#pragma once

#include <string>

#include "tessellon/Error.h"

namespace tessellon {

// The error a host receives: errors of the library's own enumerations become
// domain "BackupSDKError" with the BackupSDKError code, or 0 for the others;
// errors of the platform or of the host itself pass unchanged.
Error asNSError(const Error& error);

// The host form's description ("domain code: message"), as log lines carry it.
std::string nsErrorDescription(const Error& error);

// Why an item failed, as a report names it: the message, or the description when it has none.
std::string failureReason(const Error& error);

}  // namespace tessellon
