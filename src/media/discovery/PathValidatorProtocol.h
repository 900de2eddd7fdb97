#pragma once

#include <string>
#include <string_view>

namespace tessellon {

// Decides whether a scanned path may become a media item. Thread-safe.
class PathValidatorProtocol {
 public:
  static constexpr std::string_view kProtocolName = "PathValidatorProtocol";
  PathValidatorProtocol() = default;
  virtual ~PathValidatorProtocol() = default;
  PathValidatorProtocol(const PathValidatorProtocol&) = delete;
  PathValidatorProtocol& operator=(const PathValidatorProtocol&) = delete;

  // False for folder metadata (".DS_Store", ".localized" components), for a path that cannot be
  // written as a "file://" URL (a name that is not UTF-8 cannot be stored in a document), and for
  // a folder.
  virtual bool isValid(const std::string& fullPath) = 0;
  // As isValid for an item whose type a folder listing already gave: the file system is not asked.
  virtual bool isValid(const std::string& fullPath, bool isFolder) = 0;
};

}  // namespace tessellon
