#pragma once

#include <string>
#include <string_view>

namespace tessellon {

class DirectoryUtilsProtocol {
 public:
  static constexpr std::string_view kProtocolName = "DirectoryUtilsProtocol";
  DirectoryUtilsProtocol() = default;
  virtual ~DirectoryUtilsProtocol() = default;
  DirectoryUtilsProtocol(const DirectoryUtilsProtocol&) = delete;
  DirectoryUtilsProtocol& operator=(const DirectoryUtilsProtocol&) = delete;

  // The home folder of the process's real user as the user database records it (never
  // $HOME), without a trailing "/"; empty when the database has no entry for the user.
  virtual std::string getRealHomeDirectory() const = 0;
};

}  // namespace tessellon
