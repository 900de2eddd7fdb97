#pragma once

#include <string>
#include <string_view>

namespace tessellon {

// Finds a name beside an occupied one, so a restore never replaces a user's file. Thread-safe.
class SolveNameConflictOnRestoreStrategyProtocol {
 public:
  static constexpr std::string_view kProtocolName = "SolveNameConflictOnRestoreStrategyProtocol";
  SolveNameConflictOnRestoreStrategyProtocol() = default;
  virtual ~SolveNameConflictOnRestoreStrategyProtocol() = default;
  SolveNameConflictOnRestoreStrategyProtocol(const SolveNameConflictOnRestoreStrategyProtocol&) =
      delete;
  SolveNameConflictOnRestoreStrategyProtocol& operator=(
      const SolveNameConflictOnRestoreStrategyProtocol&) = delete;

  // `path` while nothing is there, else the first free of "<base> 1<.ext>", "<base> 2<.ext>", ...
  // in the same folder. Anything at a name takes it, a dangling link included. A path without a
  // file name comes back unchanged. The answer is only a proposal: a writer must still refuse to
  // replace what appears there meanwhile.
  virtual std::string transformToNonConflictingPath(const std::string& path) = 0;
  // The `number`-th candidate of that search: `path` itself for 0, else "<base> <number><.ext>".
  virtual std::string numberedPath(const std::string& path, unsigned number) const = 0;
};

}  // namespace tessellon
