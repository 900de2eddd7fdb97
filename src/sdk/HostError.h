#pragma once

#include "tessellon/Error.h"

namespace tessellon {

// The error a host receives: errors of the library's own enumerations become
// domain "BackupSDKError" with the BackupSDKError code, or 0 for the others;
// errors of the platform or of the host itself pass unchanged.
Error asNSError(const Error& error);

}  // namespace tessellon
