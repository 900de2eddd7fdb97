#pragma once

#include <string>

#include "tessellon/Error.h"

#include "cli/CliOptions.h"

namespace tessellon::cli {

// The exit statuses scripts rely on.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitError = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFailedItems = 3;
inline constexpr int kExitCancelled = 130;

// The version of the documents --json prints; a change that drops or renames a member raises it.
inline constexpr int kJsonSchemaVersion = 1;

// What went wrong, in the user's words: "the remote storage is full" for code 319, the library's
// case name for codes without a text of their own; a failure of the remote names `remote` and
// says what to check.
std::string whatWentWrong(const tessellon::Error& error, const std::string& remote);

// Prints "tessellon: <what went wrong> (<domain> <code>)" on standard error and, with `json`,
// {"schema": 1, "error": {"domain", "code", "message"}} on standard output; returns kExitError.
int failWith(const tessellon::Error& error, const std::string& remote, bool json);
// The same for a command's run: its remote and its --json.
int failWith(const tessellon::Error& error, const CliOptions& options);

}  // namespace tessellon::cli
