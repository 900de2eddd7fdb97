#pragma once

#include <string>
#include <string_view>

#include "tessellon/Error.h"

namespace tessellon {

inline constexpr std::string_view kPosixErrorDomain = "NSPOSIXErrorDomain";

// The one place that turns an errno value into an Error: domain
// "NSPOSIXErrorDomain", the errno value as code, and "<context>: <description>"
// as message. `context` names the operation and path, e.g. "rename /a/b".
Error posixError(const std::string& context, int errnoValue);

// True when `error` says the volume is full (ENOSPC, or EDQUOT: a quota is as
// full as a disk for the user).
bool isDiskFullError(const Error& error);

}  // namespace tessellon
