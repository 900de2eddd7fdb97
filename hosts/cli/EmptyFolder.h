#pragma once

#include <string>

namespace tessellon::cli {

// A fresh empty private folder under $TMPDIR (or /tmp), removed when the object goes away. It
// stands in for a media folder that does not exist and is not backed up: the library reads the
// picture and the movie folder together, so a missing one would fail the other category.
class EmptyFolder {
 public:
  EmptyFolder();
  ~EmptyFolder();

  EmptyFolder(const EmptyFolder&) = delete;
  EmptyFolder& operator=(const EmptyFolder&) = delete;

  // Empty when no folder could be made.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace tessellon::cli
