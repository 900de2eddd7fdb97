#include "media/discovery/PathValidator.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "core/PathUtils.h"
#include "platform/text/Utf8.h"

namespace tessellon {
namespace {

// The substring test first: it spares the component split for nearly every path of a scan.
bool containsComponent(const std::string& path, std::string_view name) {
  return path.find(name) != std::string::npos && PathUtils::containsSubPath(path, name);
}

}  // namespace

PathValidator::PathValidator(std::shared_ptr<FileIOServiceProtocol> fileManager)
    : fileManager_(std::move(fileManager)),
      filters_{
          [](const std::string& path) { return containsComponent(path, ".localized"); },
          [](const std::string& path) { return containsComponent(path, ".DS_Store"); },
          // Percent-encoding makes any UTF-8 path a valid "file://" URL, and nothing else.
          [](const std::string& path) { return !isValidUtf8(path); },
      } {}

bool PathValidator::isFolder(const std::string& fullPath) const {
  const Result<FileAttributes> attributes = fileManager_->attributesOfItem(fullPath);
  return attributes.ok() && attributes.value().type == FileAttributes::Type::directory;
}

bool PathValidator::passesFilters(const std::string& fullPath) const {
  return std::none_of(filters_.begin(), filters_.end(),
                      [&fullPath](const auto& rejects) { return rejects(fullPath); });
}

// The file system is asked last: nearly every rejection is decided by the name.
bool PathValidator::isValid(const std::string& fullPath) {
  return passesFilters(fullPath) && !isFolder(fullPath);
}

bool PathValidator::isValid(const std::string& fullPath, bool isFolder) {
  return !isFolder && passesFilters(fullPath);
}

}  // namespace tessellon
