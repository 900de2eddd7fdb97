#pragma once

#include <memory>
#include <string>

#include "media/placement/SolveNameConflictOnRestoreStrategyProtocol.h"
#include "platform/files/FileIOServiceProtocol.h"

namespace tessellon {

// Numbers a restored file's name until it is free. A hidden file's leading dot belongs to its base
// name (".profile" becomes ".profile 1"), so the number never lands in front of the name.
class SolveNameConflictOnRestoreStrategy final : public SolveNameConflictOnRestoreStrategyProtocol {
 public:
  // `fileManager` may be null: every name then counts as free.
  explicit SolveNameConflictOnRestoreStrategy(std::shared_ptr<FileIOServiceProtocol> fileManager);
  SolveNameConflictOnRestoreStrategy(const SolveNameConflictOnRestoreStrategy&) = delete;
  SolveNameConflictOnRestoreStrategy& operator=(const SolveNameConflictOnRestoreStrategy&) = delete;

  std::string transformToNonConflictingPath(const std::string& path) override;
  std::string numberedPath(const std::string& path, unsigned number) const override;

 private:
  bool isTaken(const std::string& path) const;

  const std::shared_ptr<FileIOServiceProtocol> fileManager_;  // may be null
};

}  // namespace tessellon
