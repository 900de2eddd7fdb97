#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/discovery/PathValidatorProtocol.h"
#include "platform/files/FileIOServiceProtocol.h"

namespace tessellon {

// The rules a scanned path must pass; any predicate of `filters` that answers true rejects it,
// and so does a folder.
// The folder test asks the file service about the item itself, so a link to a folder is not a
// folder here: the scan lists it without entering it, and item generation skips it as no file.
class PathValidator final : public PathValidatorProtocol {
 public:
  explicit PathValidator(std::shared_ptr<FileIOServiceProtocol> fileManager);

  bool isValid(const std::string& fullPath) override;
  bool isValid(const std::string& fullPath, bool isFolder) override;

 private:
  bool passesFilters(const std::string& fullPath) const;
  bool isFolder(const std::string& fullPath) const;

  const std::shared_ptr<FileIOServiceProtocol> fileManager_;
  const std::vector<std::function<bool(const std::string&)>> filters_;
};

}  // namespace tessellon
