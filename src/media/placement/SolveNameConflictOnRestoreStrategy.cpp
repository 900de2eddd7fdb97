#include "media/placement/SolveNameConflictOnRestoreStrategy.h"

#include <optional>
#include <utility>

#include "core/PathUtils.h"

namespace tessellon {

SolveNameConflictOnRestoreStrategy::SolveNameConflictOnRestoreStrategy(
    std::shared_ptr<FileIOServiceProtocol> fileManager)
    : fileManager_(std::move(fileManager)) {}

std::string SolveNameConflictOnRestoreStrategy::transformToNonConflictingPath(
    const std::string& path) {
  for (unsigned number = 0;; ++number) {
    std::string candidate = numberedPath(path, number);
    if (candidate == path && number > 0) return path;  // no file name to number
    if (!isTaken(candidate)) return candidate;
  }
}

std::string SolveNameConflictOnRestoreStrategy::numberedPath(const std::string& path,
                                                             unsigned number) const {
  const std::optional<std::string> name = PathUtils::getFileName(path);
  if (number == 0 || !name || *name == "." || *name == "..") return path;
  const std::optional<std::string> parent = PathUtils::getParentDirectory(path);
  std::string base = PathUtils::withoutExtension(*name);
  std::string suffix = "." + PathUtils::getFileExtension(*name);
  if (base.empty()) {  // ".profile": a hidden name, not an extension alone
    base = *name;
    suffix.clear();
  } else if (suffix == ".") {
    suffix.clear();
  }
  return (parent ? *parent + "/" : std::string()) + base + " " + std::to_string(number) + suffix;
}

bool SolveNameConflictOnRestoreStrategy::isTaken(const std::string& path) const {
  // Asked without following links: a dangling link is still a name in use.
  return fileManager_ && fileManager_->attributesOfItem(path).ok();
}

}  // namespace tessellon
