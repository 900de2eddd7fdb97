#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessellon {

// A fresh private folder (mode 0700) under $TMPDIR or /tmp, removed with everything in it when the
// object goes away, even if a test left read-only folders behind.
class TempDir {
 public:
  // Aborts the test program if no folder can be made: no test can run without one.
  TempDir();
  ~TempDir();

  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The absolute path of the folder, without a trailing slash.
  const std::string& path() const { return path_; }

  // `relative` joined to the folder; nothing is created.
  std::string file(std::string_view relative) const;

  // Writes `bytes` to `relative`, creating the parent folders, and returns the full path.
  std::string write(std::string_view relative, std::string_view bytes) const;
  std::string write(std::string_view relative, const std::vector<std::uint8_t>& bytes) const;

  // The whole content of `relative`; aborts the test program if it cannot be read.
  std::string read(std::string_view relative) const;

 private:
  std::string path_;
};

}  // namespace tessellon
