#pragma once

#include <string>
#include <string_view>

namespace tessellon {

// A fresh private folder under $TMPDIR or /tmp, removed with everything in it (even read-only
// folders) when the object goes away. Failures abort the program: no test can run without it.
class TempDir {
 public:
  TempDir();
  ~TempDir();

  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The absolute path of the folder, without a trailing slash.
  const std::string& path() const { return path_; }

  // `relative` joined to the folder (an absolute path stays as it is); nothing is created.
  std::string file(std::string_view relative) const;

  // Writes `bytes` to `relative`, creating the parent folders, and returns the full path.
  std::string write(std::string_view relative, std::string_view bytes) const;

  // The whole content of `relative`.
  std::string read(std::string_view relative) const;

 private:
  std::string path_;
};

}  // namespace tessellon
