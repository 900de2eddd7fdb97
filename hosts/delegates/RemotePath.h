#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace tessellon::hosts {

// "a/./b//c" -> "a/b/c"; none for absolute paths and ".." anywhere. The root is "". Every
// delegate we ship refuses what would leave its root.
inline std::optional<std::string> normalizeRemotePath(const std::string& relative) {
  if (!relative.empty() && relative.front() == '/') return std::nullopt;
  std::string result;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    const std::string part = relative.substr(start, end - start);
    if (part == "..") return std::nullopt;
    if (!part.empty() && part != ".") result += (result.empty() ? "" : "/") + part;
    start = end + 1;
  }
  return result;
}

// Whether a remote path names an archive the remote unpacks: its last name has a stem before
// ".zip" (a file called ".zip" is kept as it is).
inline bool isArchive(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t nameLength = slash == std::string::npos ? path.size() : path.size() - slash - 1;
  return nameLength > 4 && path.ends_with(".zip");
}

// Where a delegate keeps its local copies when the host names no folder.
inline std::string temporaryFolder() {
  const char* base = std::getenv("TMPDIR");
  return (base != nullptr && *base != '\0') ? base : "/tmp";
}

}  // namespace tessellon::hosts
