#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/files/FileIOServiceProtocol.h"

namespace tessellon {

// Finds a name beside an occupied one, so a restore never replaces a user's file: numbers the
// name until it is free. A hidden file's leading dot belongs to its base name (".profile" becomes
// ".profile 1"), so the number never lands in front of the name. Thread-safe.
class SolveNameConflictOnRestoreStrategy final {
 public:
  static constexpr std::string_view kProtocolName = "SolveNameConflictOnRestoreStrategy";
  // `fileManager` may be null: every name then counts as free.
  explicit SolveNameConflictOnRestoreStrategy(std::shared_ptr<FileIOServiceProtocol> fileManager);
  SolveNameConflictOnRestoreStrategy(const SolveNameConflictOnRestoreStrategy&) = delete;
  SolveNameConflictOnRestoreStrategy& operator=(const SolveNameConflictOnRestoreStrategy&) = delete;

  // `path` while nothing is there, else the first free of "<base> 1<.ext>", "<base> 2<.ext>", ...
  // in the same folder. Anything at a name takes it, a dangling link included. A path without a
  // file name comes back unchanged. The answer is only a proposal: a writer must still refuse to
  // replace what appears there meanwhile.
  std::string transformToNonConflictingPath(const std::string& path);
  // The `number`-th candidate of that search: `path` itself for 0, else "<base> <number><.ext>".
  std::string numberedPath(const std::string& path, unsigned number) const;

 private:
  bool isTaken(const std::string& path) const;

  const std::shared_ptr<FileIOServiceProtocol> fileManager_;  // may be null
};

}  // namespace tessellon
