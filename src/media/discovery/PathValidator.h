#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/FileIOServiceProtocol.h"

namespace tessellon {

// Decides whether a scanned path may become a media item: any predicate of `filters` that answers
// true rejects it, and so does a folder. Thread-safe.
// The folder test asks the file service about the item itself, so a link to a folder is not a
// folder here: the scan lists it without entering it, and item generation skips it as no file.
class PathValidator final {
 public:
  static constexpr std::string_view kProtocolName = "PathValidator";
  explicit PathValidator(std::shared_ptr<FileIOServiceProtocol> fileManager);

  // False for folder metadata (".DS_Store", ".localized" components), for a path that cannot be
  // written as a "file://" URL (a name that is not UTF-8 cannot be stored in a document), and for
  // a folder.
  bool isValid(const std::string& fullPath);
  // As isValid for an item whose type a folder listing already gave: the file system is not asked.
  bool isValid(const std::string& fullPath, bool isFolder);

 private:
  bool passesFilters(const std::string& fullPath) const;
  bool isFolder(const std::string& fullPath) const;

  const std::shared_ptr<FileIOServiceProtocol> fileManager_;
  const std::vector<std::function<bool(const std::string&)>> filters_;
};

}  // namespace tessellon
