#pragma once

#include <string>

#include "tessellon/Error.h"

namespace tessellon::cli {

// The exit statuses scripts rely on.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitError = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFailedItems = 3;
inline constexpr int kExitCancelled = 130;

// What went wrong, in the user's words: "the remote storage is full" for code 319, the library's
// case name for codes without a text of their own, the message for other domains.
std::string whatWentWrong(const tessellon::Error& error);

// Prints "tessellon: <what went wrong> (<domain> <code>)" on standard error; returns kExitError.
int failWith(const tessellon::Error& error);

}  // namespace tessellon::cli
