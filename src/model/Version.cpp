#include "tessellon/Version.h"

#include <regex>

namespace tessellon {

std::optional<Version> Version::parse(const std::string& text) {
  static const std::regex pattern(R"(^\s*(\d+)\.(\d+)\s*$)");
  std::smatch match;
  if (!std::regex_match(text, match, pattern)) return std::nullopt;
  try {
    return Version(std::stoi(match[1].str()), std::stoi(match[2].str()));
  } catch (const std::out_of_range&) {
    return std::nullopt;
  }
}

std::string Version::description() const {
  return std::to_string(major) + "." + std::to_string(minor);
}

}  // namespace tessellon
