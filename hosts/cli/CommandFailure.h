#pragma once

#include <stdexcept>
#include <string>
#include <utility>

#include "tessellon/Error.h"

namespace tessellon::cli {

// The command's own failures, in the domain "TessellonCommand" so that --json readers can tell
// them from the library's.
enum class CommandError : int {
  remoteMissing = 1,
  largeRemoval = 2,
  unknownDevice = 3,
  ambiguousDevice = 4,
  noBackup = 5,
  unusableRemote = 6,
  historyExpired = 7,
};

inline constexpr const char* kCommandErrorDomain = "TessellonCommand";

// Thrown where a command cannot go on; main reports it as any other error (status 1).
class CommandFailure : public std::runtime_error {
 public:
  CommandFailure(CommandError code, const std::string& message)
      : std::runtime_error(message), error_{kCommandErrorDomain, static_cast<int>(code), message} {}
  // A failure of the remote or the library, reported with its own domain and code.
  explicit CommandFailure(tessellon::Error error)
      : std::runtime_error(error.message), error_(std::move(error)) {}

  const tessellon::Error& error() const { return error_; }

 private:
  tessellon::Error error_;
};

}  // namespace tessellon::cli
