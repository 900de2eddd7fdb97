#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessellon {

// Text operations on the "/"-separated paths used for every local and remote path. Nothing here
// touches the file system. Thread-safe.
class PathUtils {
 public:
  // Joins `parts` with single "/" characters after trimming "/" from both ends of each part. The
  // result is absolute when the first part starts with "/". Empty parts give empty segments.
  static std::string combinePath(const std::vector<std::string>& parts);

  // The last component of `path` after trimming white space and line breaks around it; nothing
  // when only white space is left.
  static std::optional<std::string> getFileName(std::string_view path);

  // The text after the last "/" of `path`; all of it without a "/".
  static std::string lastComponent(std::string_view path);

  // The text after the last "." of `name`; empty without a ".".
  static std::string getFileExtension(std::string_view name);

  // `name` without its last "." and what follows; unchanged without a ".".
  static std::string withoutExtension(std::string_view name);

  // What follows `parentPath` in `path`, when `path` lies below it: the remainder keeps its leading
  // "/" ("/a/b/c" under "/a/b" is "/c"; under "/a/b/" it is "c"). Nothing when `path` does not
  // start with `parentPath`, when the match ends inside a component ("/a/bc" under "/a/b"), or when
  // the two are equal.
  static std::optional<std::string> getSubPath(std::string_view path, std::string_view parentPath);

  // Whether the components of `subPath` occur as a contiguous run among those of `path`; empty
  // components are ignored on both sides. A `subPath` without components matches nothing.
  static bool containsSubPath(std::string_view path, std::string_view subPath);

  // A fresh path in `temporaryDirectory`: the folder, "/" unless it already ends with one, and a
  // new random UUID in upper-case text form.
  static std::string createTempFileName(std::string_view temporaryDirectory);

  // `path` without its last component; trailing "/" are ignored ("/a/b/" gives "/a", "/a" gives
  // ""). Nothing when no "/" is left.
  static std::optional<std::string> getParentDirectory(std::string_view path);
};

}  // namespace tessellon
